// SPDX-License-Identifier: LGPL-2.1-or-later
#include "cycleschedule.h"

namespace CycleSchedule {

qint64 firstDelayMs(int periodMs, int link, int links)
{
    if (periodMs <= 0 || links <= 1 || link <= 0 || link >= links)
        return 0;
    const int moments = qMin(links, startMoments);
    return qint64(periodMs) * (link % moments) / moments;
}

Next next(qint64 dueMs, int periodMs, qint64 endMs)
{
    const qint64 due = dueMs + periodMs;
    if (due < endMs)
        return {endMs, true};
    return {due, false};
}

} // namespace CycleSchedule
