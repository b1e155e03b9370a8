// SPDX-License-Identifier: LGPL-2.1-or-later
#include "RepeatGuard.h"

#include <algorithm>
#include <cstring>

void RepeatGuard::seen(const QByteArray &frame, qint64 atMs)
{
    recent_[next_] = frame; // shared, not copied
    recentAt_[next_] = atMs;
    next_ = (next_ + 1) % kept;
}

int RepeatGuard::copyDelay(const char *frame, int size, qint64 nowMs) const
{
    int delay = -1;
    for (int i = 0; i < kept; ++i) {
        const QByteArray &seen = recent_[i];
        const qint64 age = nowMs - recentAt_[i];
        if (seen.size() == size && age <= maxCopyAgeMs && std::memcmp(seen.constData(), frame, size_t(size)) == 0)
            delay = std::max(delay, int(age));
    }
    return delay;
}

void RepeatGuard::copySeen(int delayMs)
{
    // Half as much again as the slowest copy seen, and a look's worth more.
    const int quiet = std::min(maxQuietMs, delayMs + delayMs / 2 + 10);
    quietMs_ = on_ ? std::max(quietMs_, quiet) : quiet;
    on_ = true;
    cleanRun_ = 0;
}

void RepeatGuard::exchangeEnded(bool copies)
{
    if (!on_ || copies)
        return;
    if (++cleanRun_ >= cleanRunToEnd) {
        on_ = false;
        quietMs_ = 0;
        cleanRun_ = 0;
    }
}
