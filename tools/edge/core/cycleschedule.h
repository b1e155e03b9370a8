// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_CYCLESCHEDULE_H
#define NORVO_EDGE_CYCLESCHEDULE_H

#include <QtCore/QtGlobal>

// When a period's cycles run. A node's links start their cycles at one of
// a few moments spread over the period, so that they do not all ask their
// PLCs at once and publish in one burst; each then keeps its own beat.
namespace CycleSchedule {

// The moments a period's starts are spread over. Links that start together
// share their threads' wake-ups, which cost most on an idle core; alone at
// its own moment, each link would wake one.
constexpr int startMoments = 10;

// The first cycle's delay, in ms, for link `link` of `links`: links take
// the moments in turn.
qint64 firstDelayMs(int periodMs, int link, int links);

struct Next
{
    qint64 dueMs;
    bool overrun;
};

// The cycle due at `dueMs` ended at `endMs`: the next keeps the beat. One
// that ran past its next start is an overrun, and the beat moves to its end
// rather than bunching the cycles that were missed.
Next next(qint64 dueMs, int periodMs, qint64 endMs);

} // namespace CycleSchedule

#endif
