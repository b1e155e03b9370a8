// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LinkExchange.h"

#include <QtCore/QDebug>

#include <cstring>

namespace {

// The exchange's waits: up to firstBytesWaitMs for the first bytes of the
// answer, a pause of answerPauseMs once they are in, then a look every
// answerLookMs until the command's time-out.
constexpr int firstBytesWaitMs = 300;
constexpr int answerPauseMs = 5;
constexpr int answerLookMs = 10;
// The command's time-out, before the time on a serial line is added.
constexpr int answerPollMs = 50;
// Noise kept for the log of a failed exchange.
constexpr int maxNoiseKept = 1024;

QByteArray hex(const QByteArray &bytes)
{
    return bytes.toHex();
}

QByteArray stationText(const QByteArray &echo)
{
    return echo.left(2);
}

// Sets the flag for the lifetime of one command.
class BusyScope
{
public:
    explicit BusyScope(bool &flag) : flag_(flag) { flag_ = true; }
    ~BusyScope() { flag_ = false; }
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    bool &flag_;
};

} // namespace

void LinkExchange::setLink(LinkTransport *link)
{
    if (link == link_)
        return;
    link_ = link;
    recvBuffer.clear(); // part of a frame of the old link
}

void LinkExchange::linkOpened()
{
    ++openings_;
    recvBuffer.clear();
    if (!owed.isEmpty())
        qCDebug(lcNorvoLink) << "link opened while answers were owed: out of step";
    owed.linkOpened();
}

// Closed, replaced, or opened anew (a new connection on the same socket).
bool LinkExchange::linkGone(const LinkTransport *link, int openings) const
{
    return link != link_ || openings != openings_ || !link->isUsable();
}

void LinkExchange::receive(LinkTransport *from, const char *bytes, int size)
{
    if (from != link_) // a link that is no longer the current one
        return;
    recvBuffer.append(bytes, size);
    NorvoFrame::FrameCutter cutter(recvBuffer.constData(), recvBuffer.size());
    const char *frame = nullptr;
    int frameSize = 0;
    int at = 0; // where the noise before the next frame starts
    while (cutter.next(&frame, &frameSize)) {
        const int start = int(frame - recvBuffer.constData());
        keepNoise(recvBuffer.constData() + at, start - at);
        at = start + frameSize;
        account(frame, frameSize);
    }
    const int used = cutter.used();
    keepNoise(recvBuffer.constData() + at, used - at);
    recvBuffer.remove(0, used);
    if (recvBuffer.size() > maxBuffered) {
        qCDebug(lcNorvoLink).noquote() << "receive buffer over" << QString::number(maxBuffered)
                                       << "bytes: input dropped, out of step";
        recvBuffer.clear();
        owed.loseAll(inFlight_ ? inFlight_->shape.echo : QByteArray());
    }
}

// Bytes outside frames, while a request waits: its log shows them, and
// its verdict is a broken answer rather than none.
void LinkExchange::keepNoise(const char *bytes, int size)
{
    if (inFlight_ && !inFlight_->done && size > 0 && inFlight_->noise.size() < maxNoiseKept)
        inFlight_->noise.append(bytes, qMin(size, maxNoiseKept - inFlight_->noise.size()));
}

void LinkExchange::account(const char *bytes, int size)
{
    if (inFlight_ && !inFlight_->done) {
        accountInFlight(bytes, size);
        return;
    }
    const QByteArray frame(bytes, size);
    if (!NorvoFrame::isIntact(frame)) {
        qCDebug(lcNorvoLink).noquote() << "dropped broken frame:" << hex(frame);
    } else if (owed.dropIfOwed(frame)) {
        qCDebug(lcNorvoLink).noquote() << "dropped owed answer:" << hex(frame);
    } else {
        owed.loseCount(frame);
        qCDebug(lcNorvoLink).noquote() << "dropped unowed frame, station" << stationText(frame.mid(1))
                                       << "out of step:" << hex(frame);
    }
}

void LinkExchange::accountInFlight(const char *bytes, int size)
{
    InFlight &in = *inFlight_;
    const LinkVerdict verdict = in.request->check(bytes, size);
    const bool ours = size >= 5 && in.shape.echo.size() == 4
        && std::memcmp(bytes + 1, in.shape.echo.constData(), 4) == 0;
    // The healthy link's case: our answer, nothing owed, all in step.
    if (ours && verdict.fault != LinkVerdict::Integrity && verdict.fault != LinkVerdict::Length
        && owed.isClear()) {
        in.done = in.settles = true;
        in.result = { verdict, QByteArray(bytes, size) };
        return;
    }
    const QByteArray frame(bytes, size);
    // Settled at once: what follows in the same delivery is judged by it.
    auto take = [&](bool settles) {
        in.done = true;
        in.settles = settles;
        in.result = { verdict, frame };
        if (settles)
            owed.settleStation(in.shape.echo);
        else if (in.synchronising && verdict.isGood())
            owed.synchronised(in.shape.echo);
    };

    if (verdict.fault == LinkVerdict::Integrity) {
        // Damaged: our own answer if it has our echo and length, else it
        // leaves our answer owed.
        take(!in.synchronising && ours && size == in.shape.goodLength
             && owed.isInStep(in.shape.echo));
        return;
    }
    // Another station's or command's frame, or a good answer of our command
    // with another length: another request's answer, not ours.
    if (!ours || verdict.fault == LinkVerdict::Length) {
        if (owed.dropIfOwed(frame)) {
            in.ownedDropped = true;
            qCDebug(lcNorvoLink).noquote() << "dropped owed answer:" << hex(frame);
            return;
        }
        // Our own answer may still come: the wait goes on.
        owed.loseCount(frame);
        in.stray = true;
        in.result = { verdict, frame };
        qCDebug(lcNorvoLink).noquote() << "dropped unowed frame, station" << stationText(frame.mid(1))
                                       << "out of step:" << hex(frame);
        return;
    }
    if (owed.owes(frame)) {
        // Only a synchronising read is sent while answers of its shape are
        // owed. Its good answer, whoever's, comes after all it must clear.
        owed.dropIfOwed(frame);
        if (in.synchronising && verdict.isGood()) {
            take(false);
        } else {
            in.ownedDropped = true;
            qCDebug(lcNorvoLink).noquote() << "dropped owed answer:" << hex(frame);
        }
        return;
    }
    if (owed.mayBeStale(frame)) {
        in.untrusted = true;
        qCDebug(lcNorvoLink).noquote() << "dropped answer of unknown age (out of step):" << hex(frame);
        return;
    }
    take(true);
}

// An answer that was not the request's own for certain leaves it owed.
void LinkExchange::finish(InFlight &in)
{
    if (!in.done || !in.settles)
        owed.owe(in.shape);
}

LinkExchange::Result LinkExchange::exchange(const NorvoRequest &request, int timeoutMs)
{
    return run(request, request.answerShape(), timeoutMs, false);
}

LinkExchange::Result LinkExchange::run(const NorvoRequest &request, const AnswerShape &shape,
                                       int timeoutMs, bool synchronising)
{
    LinkTransport *const link = link_;
    if (!link || !link->isUsable() || inFlight_)
        return { { inFlight_ ? LinkVerdict::Busy : LinkVerdict::NotConnected }, QByteArray() };

    InFlight in;
    in.request = &request;
    in.shape = shape;
    in.synchronising = synchronising;
    inFlight_ = &in;

    const int openings = openings_;
    const qint64 sentAt = clock_.nowMs();
    link->write(request.frame());
    bool gone = false;
    for (;;) {
        link->waitForInput(qMax(0, firstBytesWaitMs - int(clock_.nowMs() - sentAt)));
        if ((gone = linkGone(link, openings)))
            break;
        link->pause(answerPauseMs);
        if ((gone = linkGone(link, openings)) || timeoutMs < 1 || in.done)
            break;
        // Only owed answers came and were dropped: the wait for this
        // request's own first bytes goes on.
        const bool onlyOwed = (in.ownedDropped || in.stray) && recvBuffer.isEmpty() && in.noise.isEmpty();
        if (!onlyOwed || clock_.nowMs() - sentAt >= firstBytesWaitMs)
            break;
        in.ownedDropped = false;
    }
    for (int looked = 0; !gone && !in.done && timeoutMs >= 1 && looked < timeoutMs;) {
        looked += answerLookMs;
        link->pause(answerLookMs);
        gone = linkGone(link, openings);
    }
    inFlight_ = nullptr;

    if (gone) {
        in.done = false;
        in.result = { { LinkVerdict::NotConnected }, QByteArray() };
    } else if (timeoutMs < 1) {
        in.result = { { LinkVerdict::NoAnswer }, QByteArray() };
    } else if (!in.done) {
        // Time is up. What came instead goes to the log: another's frame,
        // or noise and the start of a frame.
        if (!in.stray || in.untrusted)
            in.result.answer = in.noise + recvBuffer;
        if (in.untrusted)
            in.result.verdict = { LinkVerdict::OutOfStep };
        else if (!in.stray)
            in.result.verdict = { in.result.answer.isEmpty() ? LinkVerdict::NoAnswer : LinkVerdict::Integrity };
    }
    finish(in);
    // A link opened during the wait, while this answer was owed.
    if (gone && openings != openings_)
        owed.linkOpened();
    if (!in.result.verdict.isGood()) {
        qCDebug(lcNorvoLink).noquote() << QStringLiteral("refused %1: %2")
                                              .arg(in.result.verdict.name(),
                                                   QString::fromLatin1(hex(in.result.answer)));
    }
    return in.result;
}

void LinkExchange::takeStaleInput()
{
    if (link_)
        link_->takeArrived();
}

int LinkExchange::commandTimeoutMs(const NorvoRequest &request) const
{
    // On a serial line the request and the answer take their time on the
    // wire: at 1200 baud a 20-character answer alone needs about 170 ms.
    const int answerChars = qMax(request.expectedAnswerLength(), NorvoFrame::AnswerOverhead);
    return answerPollMs + (link_ ? link_->wireMs(request.frame().size() + answerChars) : 0);
}

LinkExchange::Result LinkExchange::command(const NorvoRequest &request, Listener *listener)
{
    if (busy_)
        return { { LinkVerdict::Busy }, QByteArray() };
    const BusyScope scope(busy_);
    // A drop that happened while nobody listened shows up here, before
    // the status test.
    takeStaleInput();
    if (!link_ || !link_->isUsable())
        return { { LinkVerdict::NotConnected }, QByteArray() };

    const AnswerShape shape = request.answerShape();
    if (owed.needsSync(shape)) {
        bool found = false;
        const NorvoRequest sync = owed.synchronisingRead(shape, &found);
        if (!found) {
            qCDebug(lcNorvoLink).noquote() << "no synchronising read left for station"
                                           << stationText(shape.echo);
            return { { LinkVerdict::OutOfStep }, QByteArray() };
        }
        qCDebug(lcNorvoLink).noquote() << "synchronising station" << stationText(shape.echo)
                                       << "with" << hex(sync.frame());
        if (listener)
            listener->sending(sync, true);
        const Result synced = run(sync, sync.answerShape(), commandTimeoutMs(sync), true);
        if (listener)
            listener->answered(sync, synced.answer, true);
        if (synced.verdict.fault == LinkVerdict::NotConnected)
            return synced;
        // Unanswered, it has taken the request's turn: nothing is sent.
        if (owed.needsSync(shape)) {
            qCDebug(lcNorvoLink).noquote() << "station" << stationText(shape.echo)
                                           << "still out of step";
            return { { LinkVerdict::OutOfStep }, QByteArray() };
        }
        qCDebug(lcNorvoLink).noquote() << "in step with station" << stationText(shape.echo);
    }
    if (listener)
        listener->sending(request, false);
    const Result result = run(request, shape, commandTimeoutMs(request), false);
    if (listener)
        listener->answered(request, result.answer, false);
    return result;
}
