// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simlogfilter.h"

#include <QtCore/QDateTime>
#include <QtCore/QStringList>

namespace {

QString quoted(const QString &field)
{
    if (!field.contains(QLatin1Char(',')) && !field.contains(QLatin1Char('"')) && !field.contains(QLatin1Char('\n')))
        return field;
    QString text = field;
    text.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

bool SimLogFilter::matches(const SimLogEntry &entry) const
{
    return (!failedOnly || entry.failed) && (station < 0 || entry.station == station)
            && (label.isEmpty() || entry.label == label);
}

QByteArray SimLogFilter::csv(const QList<SimLogEntry> &entries)
{
    QString text = QStringLiteral("sequence,time,origin,station,command,label,count,outcome,detail,failed,synchronising\r\n");
    for (const SimLogEntry &entry : entries) {
        const QStringList fields{
            QString::number(entry.sequence),
            QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC).toString(Qt::ISODateWithMs),
            entry.origin,
            entry.station < 0 ? QString() : QString::number(entry.station),
            entry.command,
            entry.label,
            entry.outcome.isEmpty() ? QString() : QString::number(entry.count),
            entry.outcome,
            entry.detail,
            entry.failed ? QStringLiteral("1") : QStringLiteral("0"),
            entry.synchronising ? QStringLiteral("1") : QStringLiteral("0")};
        QStringList cells;
        for (const QString &field : fields)
            cells << quoted(field);
        text += cells.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}
