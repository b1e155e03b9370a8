// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_LINKOUTAGE_H
#define NORVO_CLI_LINKOUTAGE_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// How a poll tells an outage of its link: the cause once, with the first
// failed attempt; then a short reminder every so often, so that a long
// outage is not mistaken for a hung norvo; then its length when the link
// is back. Times are milliseconds on the poll's own clock.
class LinkOutage
{
public:
    static constexpr qint64 defaultRemindEveryMs = 30000;

    explicit LinkOutage(qint64 remindEveryMs = defaultRemindEveryMs)
        : remindEveryMs_(remindEveryMs)
    {
    }

    bool isOn() const { return on_; }
    // The link was lost or did not open. True when this begins an outage,
    // false when one is on already.
    bool begin(qint64 nowMs);
    // An attempt to open the link failed. True for the outage's first, whose
    // cause is to be told; later ones are "still down".
    bool failedAttempt(qint64 nowMs);
    // "still down: CONNECTION, N attempts in S s" when a reminder is due,
    // else an empty text.
    QString reminderDue(qint64 nowMs, const QString &connection);
    // The link opened again: the outage's length.
    qint64 end(qint64 nowMs);

private:
    const qint64 remindEveryMs_;
    bool on_ = false;
    bool causeTold_ = false;
    qint64 startMs_ = 0;
    qint64 lastToldMs_ = 0;
    int attempts_ = 0;
};

#endif
