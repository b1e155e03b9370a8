// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FrameTrace.h"

#include "ConnectionOptions.h"
#include "LinkAccount.h"
#include "SimulatorErrors.h"
#include "simframe.h"

#include <QtCore/QStringList>

#include <cstring>

namespace {

const char startByte = 0x02;
const char endByte = 0x03;
const char linkCategory[] = "norvo.link";

using LinkAccount::Kind;

// The driver's request or answer line, or false.
bool frameLine(const QString &message, LinkAccount::Event *line)
{
    return LinkAccount::parse(message, line) && line->kind == Kind::FrameLine;
}

bool isAnswerTag(const QString &tag)
{
    return tag.endsWith(QString::fromUtf8("响应"));
}

QString commandText(const QByteArray &code)
{
    if (code == "44")
        return QStringLiteral("read bits (44)");
    if (code == "46")
        return QStringLiteral("read registers (46)");
    if (code == "47")
        return QStringLiteral("write registers (47)");
    return QStringLiteral("command %1").arg(QString::fromLatin1(code.toHex()));
}

bool framed(const QByteArray &frame)
{
    return frame.size() >= 9 && frame.at(0) == startByte && frame.at(frame.size() - 1) == endByte;
}

// Shown, not judged by: the link gives the verdict.
QString checksumText(const QByteArray &frame)
{
    const QByteArray sent = frame.mid(frame.size() - 3, 2);
    const QByteArray right = SimFrame::checksumText(frame.left(frame.size() - 3));
    if (sent == right)
        return QStringLiteral("checksum %1 right").arg(QString::fromLatin1(sent));
    return QStringLiteral("checksum %1 WRONG (should be %2)")
        .arg(QString::fromLatin1(sent), QString::fromLatin1(right));
}

QString stationText(const QByteArray &digits)
{
    bool ok = false;
    const int station = digits.toInt(&ok, 16);
    return ok ? QString::number(station) : QString::fromLatin1(digits);
}

// Register data in groups of four digits; bit data as it came.
QString dataText(const QByteArray &code, const QByteArray &data)
{
    if (data.isEmpty())
        return QString();
    if (code != "46" && code != "47")
        return QStringLiteral(", data %1").arg(QString::fromLatin1(data));
    QStringList words;
    for (int i = 0; i < data.size(); i += 4)
        words << QString::fromLatin1(data.mid(i, 4));
    return QStringLiteral(", data %1").arg(words.join(QLatin1Char(' ')));
}

// A request frame for people; `label` as the host gave it, or empty.
QString requestText(const QByteArray &frame, const QString &label)
{
    if (!framed(frame) || frame.size() < 12)
        return QStringLiteral("%1: a frame norvo cannot read: %2")
            .arg(label, QString::fromLatin1(frame.toHex()));
    const QByteArray code = frame.mid(3, 2);
    const int areaChars = code == "44" ? 1 : 2;
    const QString area = QString::fromLatin1(frame.mid(7, areaChars));
    const QString address = QString::fromLatin1(frame.mid(7 + areaChars, 4));
    const QByteArray data = frame.mid(11 + areaChars, frame.size() - 14 - areaChars);
    bool ok = false;
    const int count = frame.mid(5, 2).toInt(&ok, 16);
    const QString where = label.isEmpty()
        ? QStringLiteral("area %1, element %2").arg(area, address)
        : QStringLiteral("%1 (area %2, element %3)").arg(label, area, address);
    return QStringLiteral("station %1, %2, %3, count %4%5, %6")
        .arg(stationText(frame.mid(1, 2)), commandText(code), where,
             ok ? QString::number(count) : QString::fromLatin1(frame.mid(5, 2)),
             dataText(code, data), checksumText(frame));
}

// An answer frame for people, whatever became of it.
QString answerText(const QByteArray &frame)
{
    if (frame.isEmpty())
        return QStringLiteral("no answer");
    if (!framed(frame))
        return QStringLiteral("a broken answer frame: %1").arg(QString::fromLatin1(frame.toHex()));
    const QByteArray code = frame.mid(3, 2);
    const char error = frame.at(5);
    QString text = QStringLiteral("station %1, %2, ")
                       .arg(stationText(frame.mid(1, 2)), commandText(code));
    text += error == '0' ? QStringLiteral("no error") : FrameTrace::plcErrorText(error);
    return text + dataText(code, frame.mid(6, frame.size() - 9)) + QStringLiteral(", ")
        + checksumText(frame);
}

QString droppedText(const LinkAccount::Event &event)
{
    switch (event.kind) {
    case Kind::OwedDropped:
        return QStringLiteral("dropped a late answer: ") + answerText(event.frame);
    case Kind::OwedTaken:
        return QStringLiteral("took an earlier synchronising read's answer: ") + answerText(event.frame);
    case Kind::BrokenDropped:
        return QStringLiteral("dropped a broken frame: ")
            + (framed(event.frame) ? answerText(event.frame) : QString::fromLatin1(event.frame.toHex()));
    case Kind::UnowedDropped:
        return QStringLiteral("dropped an answer nothing was waiting for (station %1 out of step): %2")
            .arg(stationText(event.station), answerText(event.frame));
    case Kind::StaleDropped:
        return QStringLiteral("dropped an answer of unknown age (out of step): ") + answerText(event.frame);
    case Kind::CopyDropped:
        return QStringLiteral("dropped a copy, %1 ms behind its original: %2").arg(event.ms).arg(answerText(event.frame));
    default:
        return QString();
    }
}

} // namespace

bool FrameTrace::isFrameLine(const QString &message)
{
    LinkAccount::Event line;
    return frameLine(message, &line);
}

bool FrameTrace::isLinkAccount(const char *category)
{
    return category && std::strcmp(category, linkCategory) == 0;
}

QString FrameTrace::linkAccountRule()
{
    return QStringLiteral("%1.debug=true").arg(QLatin1String(linkCategory));
}

QString FrameTrace::plcErrorText(char code)
{
    return SimulatorErrors::describe(code);
}

QString FrameTrace::failure() const
{
    return refusalPending_ ? refusalText(refusedVerdict_, refusedAnswer_) : failure_;
}

void FrameTrace::forget()
{
    refusalPending_ = false;
    failure_.clear();
}

QString FrameTrace::take(const QString &message, const QDateTime &time)
{
    LinkAccount::Event line;
    if (!frameLine(message, &line))
        return QString();
    const QString stamp = time.toString(QStringLiteral("hh:mm:ss.zzz"));
    if (isAnswerTag(line.verdict))
        return stamp + QStringLiteral(" <- ") + answer(line.frame);
    ++requests_;
    return stamp + QStringLiteral(" -> ") + request(line.frame, line.label);
}

QString FrameTrace::takeLinkLine(const QString &message, const QDateTime &time)
{
    const QString text = linkText(message);
    if (text.isEmpty())
        return text;
    return time.toString(QStringLiteral("hh:mm:ss.zzz")) + QStringLiteral(" !! ") + text;
}

QString FrameTrace::linkText(const QString &message)
{
    LinkAccount::Event event;
    if (!LinkAccount::parse(message, &event))
        return message;
    switch (event.kind) {
    case Kind::Refused:
        refusalPending_ = true;
        refusedVerdict_ = event.verdict;
        refusedAnswer_ = event.frame;
        return QString();
    case Kind::OwedDroppedLate:
    case Kind::OwedTakenLate: {
        if (event.lateMs > event.ms) {
            lateMs_ = event.lateMs;
            lateWaitMs_ = event.ms;
        }
        event.kind = event.kind == Kind::OwedTakenLate ? Kind::OwedTaken : Kind::OwedDropped;
        return droppedText(event)
            + QStringLiteral(" (%1 ms after its request; the wait was %2 ms)").arg(event.lateMs).arg(event.ms);
    }
    case Kind::WaitLearnt:
        learntWaitMs_ = event.ms;
        return QStringLiteral("the driver now waits %1 ms for an answer: one came %2 ms after its request")
            .arg(event.ms)
            .arg(event.lateMs);
    case Kind::Synchronising:
        return QStringLiteral("station %1 out of step: synchronising with %2")
            .arg(stationText(event.station), requestText(event.frame, QString()));
    case Kind::InStep:
        // What the synchronising read met no longer matters.
        forget();
        return QStringLiteral("station %1 in step again").arg(stationText(event.station));
    case Kind::StillOutOfStep: {
        const QString reason = failure();
        forget();
        failure_ = reason.isEmpty()
            ? QStringLiteral("out of step after the synchronising read; the request was not sent")
            : QStringLiteral("%1, to the synchronising read that goes first on a new link or after a "
                             "failed exchange; the request was not sent").arg(reason);
        return QStringLiteral("station %1 still out of step: the request was not sent")
            .arg(stationText(event.station));
    }
    case Kind::NoSyncLeft:
        forget();
        failure_ = QStringLiteral("out of step, with no synchronising read left; the request was not sent");
        return QStringLiteral("station %1 out of step, with no synchronising read left: "
                              "the request was not sent").arg(stationText(event.station));
    default: {
        const QString dropped = droppedText(event);
        return dropped.isEmpty() ? message : dropped;
    }
    }
}

QString FrameTrace::lateAnswer() const
{
    if (lateMs_ <= 0)
        return QString();
    // Room for the next one to come as late, rounded up to 100 ms.
    const int advised = qBound(ConnectionOptions::minTimeoutMs, (lateMs_ + lateMs_ / 4 + 99) / 100 * 100,
                               ConnectionOptions::maxTimeoutMs);
    return QStringLiteral("an answer came %1 ms after its request, but the wait was %2 ms: "
                          "the line is slow; try --timeout %3 (\"%4=%3\" in the connection string)")
        .arg(lateMs_)
        .arg(lateWaitMs_)
        .arg(advised)
        .arg(QLatin1String(ConnectionOptions::timeoutKey));
}

QString FrameTrace::refusalText(const QString &verdict, const QByteArray &answer) const
{
    if (verdict == QLatin1String("integrity")) {
        // Whole frames the link refused on integrity fail by their checksum.
        return framed(answer) ? QStringLiteral("wrong checksum in the answer")
                              : QStringLiteral("a broken answer frame");
    }
    if (verdict == QLatin1String("echo")) {
        if (answer.size() < 5 || lastEcho_.size() != 4)
            return QStringLiteral("wrong echo");
        return QStringLiteral("wrong echo: station %1 command %2 answered, "
                              "station %3 command %4 was asked")
            .arg(stationText(answer.mid(1, 2)), QString::fromLatin1(answer.mid(3, 2)),
                 stationText(lastEcho_.left(2)), QString::fromLatin1(lastEcho_.mid(2)));
    }
    const QString plcError = QStringLiteral("plc-error ");
    if (verdict.startsWith(plcError) && verdict.size() == plcError.size() + 1) {
        const char code = verdict.at(plcError.size()).toLatin1();
        return plcErrorText(code);
    }
    if (verdict == QLatin1String("length")) {
        if (lastDataChars_ < 0 || answer.size() < 9)
            return QStringLiteral("an answer of the wrong length");
        return QStringLiteral("an answer with %1 data characters, %2 expected")
            .arg(answer.size() - 9)
            .arg(lastDataChars_);
    }
    if (verdict == QLatin1String("digits"))
        return QStringLiteral("bad data characters in the answer");
    if (verdict == QLatin1String("no-answer"))
        return QStringLiteral("no answer");
    if (verdict == QLatin1String("not-connected"))
        return QStringLiteral("the link was lost while waiting for the answer");
    if (verdict == QLatin1String("busy"))
        return QStringLiteral("another request was still waiting on the link");
    if (verdict == QLatin1String("out-of-step"))
        return QStringLiteral("out of step: no answer could be trusted");
    return QStringLiteral("refused by the link: %1").arg(verdict);
}

QString FrameTrace::request(const QByteArray &frame, const QString &label)
{
    if (framed(frame) && frame.size() >= 12) {
        lastEcho_ = frame.mid(1, 4);
        const QByteArray code = frame.mid(3, 2);
        bool ok = false;
        const int count = frame.mid(5, 2).toInt(&ok, 16);
        lastDataChars_ = !ok ? -1 : code == "44" ? count : code == "46" ? 4 * count : 0;
    }
    return requestText(frame, label);
}

QString FrameTrace::answer(const QByteArray &frame)
{
    QString text = answerText(frame);
    if (refusalPending_) {
        failure_ = refusalText(refusedVerdict_, refusedAnswer_);
        refusalPending_ = false;
        if (!text.contains(failure_))
            text += QStringLiteral(" [%1]").arg(failure_);
    }
    return text;
}
