// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LinkOutage.h"

bool LinkOutage::begin(qint64 nowMs)
{
    if (on_)
        return false;
    on_ = true;
    causeTold_ = false;
    startMs_ = nowMs;
    attempts_ = 0;
    return true;
}

bool LinkOutage::failedAttempt(qint64 nowMs)
{
    ++attempts_;
    if (causeTold_)
        return false;
    causeTold_ = true;
    lastToldMs_ = nowMs;
    return true;
}

QString LinkOutage::reminderDue(qint64 nowMs, const QString &connection)
{
    if (!on_ || nowMs - lastToldMs_ < remindEveryMs_)
        return QString();
    lastToldMs_ = nowMs;
    return QStringLiteral("still down: %1, %2 %3 in %4 s")
        .arg(connection)
        .arg(attempts_)
        .arg(attempts_ == 1 ? QStringLiteral("attempt") : QStringLiteral("attempts"))
        .arg((nowMs - startMs_) / 1000);
}

qint64 LinkOutage::end(qint64 nowMs)
{
    on_ = false;
    return nowMs - startMs_;
}
