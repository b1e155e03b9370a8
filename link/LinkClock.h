// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKCLOCK_H
#define LINKCLOCK_H

#include <QtCore/QElapsedTimer>

// The exchange's sense of time: monotonic ms. Tests put a clock of their
// own here that their fake link moves on.
class LinkClock
{
public:
    virtual ~LinkClock() = default;
    virtual qint64 nowMs() const = 0;
};

class SteadyLinkClock final : public LinkClock
{
public:
    SteadyLinkClock() { started_.start(); }
    qint64 nowMs() const override { return started_.elapsed(); }

private:
    QElapsedTimer started_;
};

#endif // LINKCLOCK_H
