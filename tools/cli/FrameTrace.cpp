#include "FrameTrace.h"

#include "simframe.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QStringList>

namespace {

const char startByte = 0x02;
const char endByte = 0x03;

// tag, address:port, label, count, frame in hex.
const QRegularExpression &linePattern()
{
    static const QRegularExpression pattern(QStringLiteral(
        "^(\\S+) \\S*:\\d+ Area=(\\S*)  len = (-?\\d+) msg : ([0-9a-f]*)$"));
    return pattern;
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

// What the checksum of a whole frame should be, by the PLC's own rule.
QByteArray expectedChecksum(const QByteArray &frame)
{
    return SimFrame::checksumText(frame.left(frame.size() - 3));
}

bool framed(const QByteArray &frame)
{
    return frame.size() >= 9 && frame.at(0) == startByte && frame.at(frame.size() - 1) == endByte;
}

QString checksumText(const QByteArray &frame)
{
    const QByteArray sent = frame.mid(frame.size() - 3, 2);
    const QByteArray right = expectedChecksum(frame);
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

} // namespace

bool FrameTrace::isFrameLine(const QString &message)
{
    return linePattern().match(message).hasMatch();
}

QString FrameTrace::plcErrorText(char code)
{
    switch (code) {
    case '1': return QStringLiteral("the request's checksum was wrong");
    case '2': return QStringLiteral("unknown command");
    case '3': return QStringLiteral("malformed request");
    case '4': return QStringLiteral("unknown area");
    case '5': return QStringLiteral("elements past 9999");
    case '6': return QStringLiteral("busy");
    default: return QStringLiteral("an error code of no known meaning");
    }
}

QString FrameTrace::take(const QString &message, const QDateTime &time)
{
    const QRegularExpressionMatch match = linePattern().match(message);
    if (!match.hasMatch())
        return QString();
    const QByteArray frame = QByteArray::fromHex(match.captured(4).toLatin1());
    const QString stamp = time.toString(QStringLiteral("hh:mm:ss.zzz"));
    if (isAnswerTag(match.captured(1)))
        return stamp + QStringLiteral(" <- ") + answer(frame);
    ++requests_;
    return stamp + QStringLiteral(" -> ") + request(frame, match.captured(2));
}

QString FrameTrace::request(const QByteArray &frame, const QString &label)
{
    if (!framed(frame) || frame.size() < 12)
        return QStringLiteral("%1: a frame norvo cannot read: %2")
            .arg(label, QString::fromLatin1(frame.toHex()));
    lastEcho_ = frame.mid(1, 4);
    const QByteArray code = frame.mid(3, 2);
    const int areaChars = code == "44" ? 1 : 2;
    const QByteArray area = frame.mid(7, areaChars);
    const QByteArray address = frame.mid(7 + areaChars, 4);
    const QByteArray data = frame.mid(11 + areaChars, frame.size() - 14 - areaChars);
    bool ok = false;
    const int count = frame.mid(5, 2).toInt(&ok, 16);
    lastDataChars_ = !ok ? -1 : code == "44" ? count : code == "46" ? 4 * count : 0;
    return QStringLiteral("station %1, %2, %3 (area %4, element %5), count %6%7, %8")
        .arg(stationText(frame.mid(1, 2)), commandText(code), label,
             QString::fromLatin1(area), QString::fromLatin1(address),
             ok ? QString::number(count) : QString::fromLatin1(frame.mid(5, 2)),
             dataText(code, data), checksumText(frame));
}

QString FrameTrace::answer(const QByteArray &frame)
{
    if (frame.isEmpty()) {
        failure_ = QStringLiteral("no answer");
        return failure_;
    }
    if (!framed(frame)) {
        failure_ = QStringLiteral("a broken answer frame");
        return QStringLiteral("%1: %2").arg(failure_, QString::fromLatin1(frame.toHex()));
    }
    const QByteArray code = frame.mid(3, 2);
    const char error = frame.at(5);
    const QByteArray data = frame.mid(6, frame.size() - 9);
    QString text = QStringLiteral("station %1, %2, ")
                       .arg(stationText(frame.mid(1, 2)), commandText(code));
    text += error == '0' ? QStringLiteral("no error")
                         : QStringLiteral("PLC error %1: %2").arg(QLatin1Char(error))
                               .arg(plcErrorText(error));
    text += dataText(code, data) + QStringLiteral(", ") + checksumText(frame);

    failure_.clear();
    if (expectedChecksum(frame) != frame.mid(frame.size() - 3, 2))
        failure_ = QStringLiteral("wrong checksum in the answer");
    else if (!lastEcho_.isEmpty() && frame.mid(1, 4) != lastEcho_)
        failure_ = QStringLiteral("wrong echo: station %1 command %2 answered, "
                                  "station %3 command %4 was asked")
                       .arg(stationText(frame.mid(1, 2)), QString::fromLatin1(code),
                            stationText(lastEcho_.left(2)), QString::fromLatin1(lastEcho_.mid(2)));
    else if (error != '0')
        failure_ = QStringLiteral("PLC error code %1: %2").arg(QLatin1Char(error)).arg(plcErrorText(error));
    else if (lastDataChars_ >= 0 && data.size() != lastDataChars_)
        failure_ = QStringLiteral("an answer with %1 data characters, %2 expected")
                       .arg(data.size())
                       .arg(lastDataChars_);
    if (!failure_.isEmpty() && !text.contains(failure_))
        text += QStringLiteral(" [%1]").arg(failure_);
    return text;
}
