// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKPAUSE_H
#define LINKPAUSE_H

#include <QtCore/QAbstractEventDispatcher>
#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>

#include <poll.h>

// Sleeps ms, waking whenever the link's descriptor (asked anew on every
// wake, -1: none) has input, and handles every event of the thread that
// came meanwhile. A nested event loop that waits for a timer costs about as
// much CPU as the rest of an exchange.
template <typename Descriptor>
void linkPause(const Descriptor &descriptor, int ms)
{
    const bool events = QAbstractEventDispatcher::instance() != nullptr;
    QElapsedTimer slept;
    slept.start();
    // Bounded, in case the system keeps reporting input no slot takes (a
    // line that has hung up).
    constexpr int maxWakes = 16;
    for (int wakes = 0;; ++wakes) {
        const int left = ms - int(slept.elapsed());
        const int fd = events && wakes < maxWakes ? descriptor() : -1;
        pollfd input { fd, POLLIN, 0 };
        if (left > 0)
            ::poll(&input, fd < 0 ? 0 : 1, left);
        if (events)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (left <= 0 || slept.elapsed() >= ms)
            return;
    }
}

#endif // LINKPAUSE_H
