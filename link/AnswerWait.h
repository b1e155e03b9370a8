// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef ANSWERWAIT_H
#define ANSWERWAIT_H

#include "ConnectionOptions.h"

// How long a path's exchange waits for an answer's first bytes.
//
// Set by the host ("timeout=MS" in the connection string), it stays as set.
// Unset, it learns the line: an owed answer seen arriving after the wait
// shows how late that line answers, and the wait grows to cover it, with a
// margin, up to a cap. Answers that come quickly let it shrink back, slowly,
// so that one quick answer on a slow line does not undo what was learnt.
class AnswerWait
{
public:
    static constexpr int defaultMs = ConnectionOptions::defaultTimeoutMs;
    // A learnt wait never goes past this: a call must not block for long
    // because one answer once came very late.
    static constexpr int capMs = 3000;

    // 0: learn the line; else the host's setting.
    void setSetting(int ms) { setting_ = ms; learnt_ = defaultMs; }
    bool isSet() const { return setting_ > 0; }

    int ms() const { return setting_ > 0 ? setting_ : learnt_; }
    // Learnt longer than the default: quick answers may shrink it.
    bool isGrown() const { return setting_ == 0 && learnt_ > defaultMs; }

    // An owed answer came lateMs after its request; true when the wait grew.
    bool answeredLate(int lateMs);
    // An answer's first bytes came firstBytesMs after its request.
    void answered(int firstBytesMs);

private:
    int setting_ = 0;
    int learnt_ = defaultMs;
};

#endif // ANSWERWAIT_H
