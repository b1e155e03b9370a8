// SPDX-License-Identifier: LGPL-2.1-or-later
#include "AnswerWait.h"

#include <algorithm>

namespace {

// What covers an answer that came ms after its request: a quarter more, and
// a little for the next one's jitter.
int covering(int ms)
{
    return ms + ms / 4 + 50;
}

// A grown wait moves this share of the way back per quick answer.
constexpr int shrinkShare = 16;

} // namespace

bool AnswerWait::answeredLate(int lateMs)
{
    if (setting_ > 0 || lateMs <= 0)
        return false;
    const int grown = std::min(capMs, covering(lateMs));
    if (grown <= learnt_)
        return false;
    learnt_ = grown;
    return true;
}

void AnswerWait::answered(int firstBytesMs)
{
    if (setting_ > 0 || learnt_ <= defaultMs)
        return;
    const int target = std::max(defaultMs, covering(std::max(firstBytesMs, 0)));
    if (learnt_ > target)
        learnt_ -= std::max(1, (learnt_ - target) / shrinkShare);
}
