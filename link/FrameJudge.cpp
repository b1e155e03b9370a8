// SPDX-License-Identifier: LGPL-2.1-or-later
#include "FrameJudge.h"

#include "OwedAnswers.h"
#include "RepeatGuard.h"

#include <cstring>

namespace {

using Kind = FrameJudgement::Kind;

FrameJudgement judged(Kind kind, LinkVerdict verdict = {}, bool settles = false)
{
    FrameJudgement judgement;
    judgement.kind = kind;
    judgement.verdict = verdict;
    judgement.settles = settles;
    return judgement;
}

// Owed by nothing: a copy of a frame just seen, or a stray.
FrameJudgement unowed(const char *frame, int size, const LinkVerdict &verdict,
                      const RepeatGuard &guard, const LinkClock &clock)
{
    FrameJudgement judgement = judged(Kind::Stray, verdict);
    judgement.copyDelayMs = guard.copyDelay(frame, size, clock.nowMs());
    if (judgement.copyDelayMs >= 0)
        judgement.kind = Kind::Copy;
    return judgement;
}

FrameJudgement judgeBetween(const char *frame, int size, const OwedAnswers &owed,
                            const RepeatGuard &guard, const LinkClock &clock)
{
    if (!NorvoFrame::isIntact(frame, size))
        return judged(Kind::Broken, { LinkVerdict::Integrity });
    if (owed.owes(QByteArray::fromRawData(frame, size)))
        return judged(Kind::Owed);
    return unowed(frame, size, {}, guard, clock);
}

} // namespace

FrameJudgement judgeFrame(const char *frame, int size, const WaitingRequest *waiting,
                          const OwedAnswers &owed, const RepeatGuard &guard, const LinkClock &clock)
{
    if (!waiting || waiting->holding)
        return judgeBetween(frame, size, owed, guard, clock);

    const WaitingRequest &w = *waiting;
    const LinkVerdict verdict = w.request->check(frame, size);
    const bool ours = size >= 5 && w.shape.echo.size() == 4
        && std::memcmp(frame + 1, w.shape.echo.constData(), 4) == 0;
    const bool whole = verdict.fault != LinkVerdict::Integrity && verdict.fault != LinkVerdict::Length;
    // The healthy link's case: our answer, nothing owed, the station in step.
    if (ours && whole && owed.isClearFor(w.shape.echo.constData()))
        return judged(Kind::Answer, verdict, true);

    if (verdict.fault == LinkVerdict::Integrity) {
        // Damaged: our own answer if it has our echo and length, else it
        // leaves our answer owed.
        return judged(Kind::Damaged, verdict,
                      !w.synchronising && ours && size == w.shape.goodLength && owed.isInStep(w.shape.echo));
    }
    const QByteArray bytes = QByteArray::fromRawData(frame, size);
    // Another station's or command's frame, or a good answer of our command
    // with another length: another request's answer, not ours.
    if (!ours || verdict.fault == LinkVerdict::Length) {
        if (owed.owes(bytes))
            return judged(Kind::Owed, verdict);
        return unowed(frame, size, verdict, guard, clock);
    }
    if (owed.owes(bytes)) {
        // Only a synchronising read is sent while answers of its shape are
        // owed. Its good answer, whoever's, comes after all it must clear.
        if (w.synchronising && verdict.isGood())
            return judged(Kind::Answer, verdict, false);
        return judged(Kind::Owed, verdict);
    }
    if (w.synchronising) {
        // Its shape is one the station cannot still owe; but every error
        // answer of a station and command looks alike, whoever's it is.
        return judged(Kind::Answer, verdict, verdict.isGood() || !owed.mayComeInAnyShape(w.shape.echo));
    }
    if (owed.mayBeStale(bytes))
        return judged(Kind::Stale, verdict);
    return judged(Kind::Answer, verdict, true);
}
