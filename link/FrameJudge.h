// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef FRAMEJUDGE_H
#define FRAMEJUDGE_H

#include "LinkClock.h"
#include "LinkVerdict.h"
#include "NorvoFrame.h"

class OwedAnswers;
class RepeatGuard;

// What the judge needs to know of the request waiting for its answer.
struct WaitingRequest
{
    const NorvoRequest *request = nullptr;
    AnswerShape shape;
    bool synchronising = false;
    // On a line that repeats: an answer is already taken, and the line is
    // watched for its copy before it is used.
    bool holding = false;
};

// What an arriving frame is. Every frame is accounted for as one of these.
struct FrameJudgement
{
    enum Kind {
        Answer,  // the waiting request's answer (good, an error, or of bad digits)
        Damaged, // framing or checksum broken while a request waits: it fails
        Owed,    // an earlier request's answer: dropped
        Copy,    // the same bytes as an answer just seen, owed by nothing: dropped
        Stray,   // owed by nothing: its station's count of answers is lost
        Stale,   // fits the waiting request, but may be from before its station fell out of step
        Broken,  // no whole frame, and no request waits
    };

    Kind kind = Broken;
    LinkVerdict verdict;    // the waiting request's check of the frame
    bool settles = false;   // Answer, Damaged: nothing older of its station can still come
    int copyDelayMs = -1;   // Copy: how far behind its original it came
};

// Decides what a frame is, without I/O and without changing anything: the
// exchange applies the judgement. waiting is null between requests. The
// clock is read only for a frame owed by nothing (is it a copy?).
FrameJudgement judgeFrame(const char *frame, int size, const WaitingRequest *waiting,
                          const OwedAnswers &owed, const RepeatGuard &guard, const LinkClock &clock);

#endif // FRAMEJUDGE_H
