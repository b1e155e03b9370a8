// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LinkExchange.h"

#include "LinkAccount.h"

#include <QtCore/QDebug>

#include <cstring>

namespace {

// The exchange's waits: up to the path's answer wait for the first bytes
// of the answer, a pause of answerPauseMs once they are in, then a look
// every answerLookMs until the command's time-out.
constexpr int answerPauseMs = 5;
constexpr int answerLookMs = 10;
// The command's time-out, before the time on a serial line is added.
constexpr int answerPollMs = 50;
// Noise kept for the log of a failed exchange.
constexpr int maxNoiseKept = 1024;
// Requests remembered for the lateness of their answers.
constexpr int maxUnansweredKept = 16;
// Unowed frames told one by one per exchange; the rest are counted.
constexpr int maxStraysTold = 8;

using LinkAccount::Kind;

// One line of the link's account.
void tell(Kind kind, const QByteArray &frame = QByteArray(), const QByteArray &station = QByteArray())
{
    if (!lcNorvoLink().isDebugEnabled())
        return;
    LinkAccount::Event event;
    event.kind = kind;
    event.frame = frame;
    event.station = station.left(2);
    qCDebug(lcNorvoLink).noquote() << LinkAccount::format(event);
}

void tell(const LinkAccount::Event &event)
{
    qCDebug(lcNorvoLink).noquote() << LinkAccount::format(event);
}

LinkAccount::Event event(Kind kind, int ms = -1, int lateMs = -1, const QByteArray &frame = QByteArray())
{
    LinkAccount::Event e;
    e.kind = kind;
    e.ms = ms;
    e.lateMs = lateMs;
    e.frame = frame;
    return e;
}

bool sameStation(const QByteArray &a, const QByteArray &b)
{
    return a.size() >= 2 && b.size() >= 2 && a.at(0) == b.at(0) && a.at(1) == b.at(1);
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

LinkExchange::LinkExchange(const LinkClock &clock)
    : clock_(clock)
{
    // insert(), not operator[]: no std::piecewise_construct in the library's
    // exported symbols of a build without inlining.
    path_ = &paths_.insert({ QByteArray(), Path() }).first->second;
}

void LinkExchange::setLink(LinkTransport *link)
{
    if (link == link_)
        return;
    link_ = link;
    recvBuffer_.clear(); // part of a frame of the old link
}

void LinkExchange::linkOpened(const QByteArray &path, int waitMs)
{
    ++openings_;
    recvBuffer_.clear();
    Path &opened = paths_.insert({ path, Path() }).first->second;
    opened.used = ++pathUses_;
    if (int(paths_.size()) > maxPaths) {
        // What a path's ledger knew only spares synchronising reads when
        // it is opened again: it starts out of step whatever it knew.
        auto oldest = paths_.end();
        for (auto p = paths_.begin(); p != paths_.end(); ++p) {
            const bool inUse = &p->second == &opened || (inFlight_ && inFlight_->path == &p->second)
                || &p->second == path_;
            if (!inUse && (oldest == paths_.end() || p->second.used < oldest->second.used))
                oldest = p;
        }
        if (oldest != paths_.end()) {
            LinkAccount::Event forgot = event(Kind::PathForgotten);
            forgot.path = QString::fromLatin1(oldest->first);
            tell(forgot);
            paths_.erase(oldest);
        }
    }
    if (!opened.owed.isEmpty())
        tell(Kind::OpenedWhileOwed);
    LinkAccount::Event opening = event(Kind::LinkOpened);
    opening.path = QString::fromLatin1(path);
    tell(opening);
    opened.owed.linkOpened();
    if (waitMs != (opened.wait.isSet() ? opened.wait.ms() : 0))
        opened.wait.setSetting(waitMs);
    path_ = &opened;
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
    if (inFlight_ && inFlight_->waiting.holding)
        inFlight_->lastArrival = clock_.nowMs();
    recvBuffer_.append(bytes, size);
    NorvoFrame::FrameCutter cutter(recvBuffer_.constData(), recvBuffer_.size());
    const char *frame = nullptr;
    int frameSize = 0;
    int at = 0; // where the noise before the next frame starts
    while (cutter.next(&frame, &frameSize)) {
        const int start = int(frame - recvBuffer_.constData());
        keepNoise(recvBuffer_.constData() + at, start - at);
        at = start + frameSize;
        account(frame, frameSize);
    }
    const int used = cutter.used();
    keepNoise(recvBuffer_.constData() + at, used - at);
    recvBuffer_.remove(0, used);
    if (recvBuffer_.capacity() > 4 * maxBuffered)
        recvBuffer_.squeeze(); // a flood's bytes are not kept
    if (recvBuffer_.size() > maxBuffered) {
        LinkAccount::Event over = event(Kind::InputDropped);
        over.count = maxBuffered;
        tell(over);
        recvBuffer_.clear();
        loseAll();
    }
}

void LinkExchange::loseAll()
{
    path_->owed.loseAll(inFlight_ ? inFlight_->waiting.shape.echo : QByteArray());
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
    // A request sent over another path waits for nothing that comes here.
    InFlight *in = inFlight_ && inFlight_->path == path_ ? inFlight_ : nullptr;
    const bool waiting = in && (!in->done || in->waiting.holding);
    const FrameJudgement judgement = judgeFrame(bytes, size, waiting ? &in->waiting : nullptr,
                                                path_->owed, path_->guard, clock_);
    switch (judgement.kind) {
    case FrameJudgement::Answer:
    case FrameJudgement::Damaged:
        take(*in, judgement, bytes, size);
        return;
    case FrameJudgement::Owed:
        dropOwed(QByteArray(bytes, size));
        if (in && !in->done)
            in->onlyOwed = true;
        return;
    case FrameJudgement::Copy:
        if (in && in->done && in->result.answer == QByteArray::fromRawData(bytes, size))
            in->waiting.holding = false; // its copy came: the line is quiet for it
        if (in) {
            in->copies = true;
            in->onlyOwed = in->onlyOwed || !in->done;
        }
        dropUnowed(QByteArray(bytes, size), judgement);
        return;
    case FrameJudgement::Stray:
        if (in && !in->done) {
            in->stray = true;
            in->result = { judgement.verdict, QByteArray(bytes, size) };
        } else if (in && in->waiting.holding && size >= 5
                   && std::memcmp(bytes + 1, in->waiting.shape.echo.constData(), 4) == 0) {
            in->untrusted = true; // another answer of the shape taken: which is whose?
        }
        dropUnowed(QByteArray(bytes, size), judgement);
        return;
    case FrameJudgement::Stale:
        in->untrusted = true;
        tell(Kind::StaleDropped, QByteArray(bytes, size));
        return;
    case FrameJudgement::Broken:
        tell(Kind::BrokenDropped, QByteArray(bytes, size));
        return;
    }
}

void LinkExchange::take(InFlight &in, const FrameJudgement &judgement, const char *frame, int size)
{
    in.done = true;
    in.settles = judgement.settles;
    in.result = { judgement.verdict, QByteArray(frame, size) };
    const QByteArray &echo = in.waiting.shape.echo;
    Path &path = *in.path;
    if (in.settles) {
        path.owed.settleStation(echo);
        for (int i = path.unanswered.size() - 1; i >= 0; --i) {
            if (sameStation(path.unanswered.at(i).shape.echo, echo))
                path.unanswered.remove(i);
        }
    } else if (in.waiting.synchronising && judgement.verdict.isGood()) {
        // Its own answer, or an earlier one of the same read: either comes
        // after everything it must clear.
        if (path.owed.owes(in.result.answer))
            settleOwed(path, in.result.answer, true);
        path.owed.synchronised(echo);
    }
    if (judgement.kind == FrameJudgement::Answer) {
        // Its copy's delay counts from the request: a little longer, never
        // shorter, and no clock read on the healthy path.
        path.guard.seen(in.result.answer, in.sentAt);
        if (path.wait.isGrown())
            path.wait.answered(int(clock_.nowMs() - in.sentAt));
    }
}

void LinkExchange::dropOwed(const QByteArray &frame)
{
    settleOwed(*path_, frame, false);
}

void LinkExchange::settleOwed(Path &path, const QByteArray &frame, bool taken)
{
    const qint64 now = clock_.nowMs();
    path.owed.dropIfOwed(frame);
    path.guard.seen(frame, now);
    // The request it answers: the oldest left unanswered that it fits
    // (answers come in order); older ones of its station will not come.
    for (int i = 0; i < path.unanswered.size(); ++i) {
        const Unanswered request = path.unanswered.at(i);
        if (!request.shape.fits(frame))
            continue;
        for (int j = i; j >= 0; --j) {
            if (sameStation(path.unanswered.at(j).shape.echo, request.shape.echo))
                path.unanswered.remove(j);
        }
        const int lateMs = int(now - request.sentAt);
        tell(event(taken ? Kind::OwedTakenLate : Kind::OwedDroppedLate, request.waitMs, lateMs, frame));
        if (lateMs > request.waitMs && path.wait.answeredLate(lateMs))
            tell(event(Kind::WaitLearnt, path.wait.ms(), lateMs));
        return;
    }
    tell(taken ? Kind::OwedTaken : Kind::OwedDropped, frame);
}

void LinkExchange::dropUnowed(const QByteArray &frame, const FrameJudgement &judgement)
{
    Path &path = *path_;
    if (judgement.kind == FrameJudgement::Copy) {
        const bool guarding = path.guard.isOn();
        path.guard.copySeen(judgement.copyDelayMs);
        tell(event(Kind::CopyDropped, judgement.copyDelayMs, -1, frame));
        if (guarding)
            return;
        tell(event(Kind::LineRepeats, path.guard.quietMs()));
        // Until now a copy could have passed for an answer.
    }
    path.owed.loseCount(frame);
    if (judgement.kind != FrameJudgement::Stray)
        return;
    // A flood is told in full once it has passed, not frame by frame.
    if (straysTold_ < maxStraysTold) {
        ++straysTold_;
        tell(Kind::UnowedDropped, frame, frame.mid(1, 2));
    } else {
        ++straysUntold_;
    }
}

// An answer that was not the request's own for certain leaves it owed.
void LinkExchange::finish(InFlight &in)
{
    if (in.done && in.settles)
        return;
    Path &path = *in.path;
    path.owed.owe(in.waiting.shape);
    if (path.unanswered.size() >= maxUnansweredKept)
        path.unanswered.removeFirst();
    path.unanswered.append({ in.waiting.shape, in.sentAt, in.waitMs });
}

LinkExchange::Result LinkExchange::exchange(const NorvoRequest &request, int timeoutMs)
{
    return run(request, request.answerShape(), timeoutMs, false);
}

bool LinkExchange::awaitAnswer(InFlight &in, LinkTransport *link, int openings, int timeoutMs)
{
    for (;;) {
        // Read anew each time: an owed answer seen meanwhile may have
        // taught the path a longer wait.
        in.waitMs = in.path->wait.ms();
        link->waitForInput(qMax(0, in.waitMs - int(clock_.nowMs() - in.sentAt)));
        if (linkGone(link, openings))
            return false;
        link->pause(answerPauseMs);
        if (linkGone(link, openings))
            return false;
        if (timeoutMs < 1 || in.done)
            break;
        // Only others' answers came and were dropped: the wait for this
        // request's own first bytes goes on.
        const bool onlyOthers = (in.onlyOwed || in.stray) && recvBuffer_.isEmpty() && in.noise.isEmpty();
        if (!onlyOthers || clock_.nowMs() - in.sentAt >= in.path->wait.ms())
            break;
        in.onlyOwed = false;
    }
    for (int looked = 0; !in.done && timeoutMs >= 1 && looked < timeoutMs;) {
        looked += answerLookMs;
        link->pause(answerLookMs);
        if (linkGone(link, openings))
            return false;
    }
    return true;
}

bool LinkExchange::holdForCopy(InFlight &in, LinkTransport *link, int openings)
{
    const RepeatGuard &guard = in.path->guard;
    if (!in.done || in.result.answer.isEmpty() || !guard.isOn())
        return true;
    in.waiting.holding = true;
    in.lastArrival = clock_.nowMs();
    while (in.waiting.holding && !in.untrusted) {
        const int quietFor = int(clock_.nowMs() - in.lastArrival);
        if (quietFor >= guard.quietMs())
            break;
        link->pause(qMin(answerLookMs, guard.quietMs() - quietFor));
        if (linkGone(link, openings))
            return false;
    }
    in.waiting.holding = false;
    if (in.untrusted) {
        in.done = in.settles = false; // owed again: which answer was whose is not known
        in.result.verdict = { LinkVerdict::OutOfStep };
    }
    return true;
}

LinkExchange::Result LinkExchange::run(const NorvoRequest &request, const AnswerShape &shape,
                                       int timeoutMs, bool synchronising)
{
    LinkTransport *const link = link_;
    if (!link || !link->isUsable() || inFlight_)
        return { { inFlight_ ? LinkVerdict::Busy : LinkVerdict::NotConnected }, QByteArray() };

    InFlight in;
    in.waiting.request = &request;
    in.waiting.shape = shape;
    in.waiting.synchronising = synchronising;
    in.path = path_;
    in.waitMs = path_->wait.ms();
    inFlight_ = &in;

    const int openings = openings_;
    in.sentAt = clock_.nowMs();
    link->write(request.frame());
    const bool gone = !awaitAnswer(in, link, openings, timeoutMs)
        || (in.path->guard.isOn() && !holdForCopy(in, link, openings));
    inFlight_ = nullptr;

    if (gone) {
        in.done = false;
        in.result = { { LinkVerdict::NotConnected }, QByteArray() };
    } else if (timeoutMs < 1) {
        in.result = { { LinkVerdict::NoAnswer }, QByteArray() };
    } else if (!in.done && in.result.verdict.fault != LinkVerdict::OutOfStep) {
        // Time is up. What came instead goes to the log: another's frame,
        // or noise and the start of a frame.
        if (!in.stray || in.untrusted)
            in.result.answer = in.noise + recvBuffer_;
        if (in.untrusted)
            in.result.verdict = { LinkVerdict::OutOfStep };
        else if (!in.stray)
            in.result.verdict = { in.result.answer.isEmpty() ? LinkVerdict::NoAnswer : LinkVerdict::Integrity };
    }
    finish(in);
    in.path->guard.exchangeEnded(in.copies);
    tellUntoldStrays();
    if (!in.result.verdict.isGood()) {
        LinkAccount::Event refused = event(Kind::Refused, -1, -1, in.result.answer);
        refused.verdict = in.result.verdict.name();
        tell(refused);
    }
    return in.result;
}

void LinkExchange::takeStaleInput()
{
    if (link_)
        link_->takeArrived();
    tellUntoldStrays();
}

void LinkExchange::tellUntoldStrays()
{
    if (straysUntold_ > 0) {
        LinkAccount::Event untold = event(Kind::UnownedUntold);
        untold.count = straysUntold_;
        tell(untold);
    }
    straysTold_ = straysUntold_ = 0;
}

int LinkExchange::commandTimeoutMs(const NorvoRequest &request) const
{
    // On a serial line the request and the answer take their time on the
    // wire: at 1200 baud a 20-character answer alone needs about 170 ms.
    const int answerChars = qMax(request.expectedAnswerLength(), NorvoFrame::AnswerOverhead);
    return answerPollMs + (link_ ? link_->wireMs(request.frame().size() + answerChars) : 0);
}

LinkExchange::Result LinkExchange::command(const NorvoRequest &request, const AnswerShape &shape,
                                           Listener *listener, bool synchronising)
{
    if (listener)
        listener->sending(request, synchronising);
    const Result result = run(request, shape, commandTimeoutMs(request), synchronising);
    if (listener)
        listener->answered(request, result.answer, synchronising);
    return result;
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
    if (path_->owed.needsSync(shape)) {
        bool found = false;
        const NorvoRequest sync = path_->owed.synchronisingRead(shape, &found);
        if (!found) {
            tell(Kind::NoSyncLeft, QByteArray(), shape.echo);
            return { { LinkVerdict::OutOfStep }, QByteArray() };
        }
        tell(Kind::Synchronising, sync.frame(), shape.echo);
        const Result synced = command(sync, sync.answerShape(), listener, true);
        if (synced.verdict.fault == LinkVerdict::NotConnected)
            return synced;
        // Unanswered, it has taken the request's turn: nothing is sent. Its
        // own failure (silence, a refusal) is the call's.
        if (path_->owed.needsSync(shape)) {
            tell(Kind::StillOutOfStep, QByteArray(), shape.echo);
            const bool told = !synced.verdict.isGood() && synced.verdict.fault != LinkVerdict::Busy;
            return { { told ? synced.verdict : LinkVerdict { LinkVerdict::OutOfStep } }, QByteArray() };
        }
        tell(Kind::InStep, QByteArray(), shape.echo);
    }
    return command(request, shape, listener, false);
}
