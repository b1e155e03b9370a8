// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simlogentry.h"

#include "simframe.h"
#include "simlabel.h"

#include <QtCore/QDateTime>

namespace {

// The characters as received, anything unprintable as '?': they end up on a
// console and in a web page.
QString printable(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes)
        text += (c >= 0x20 && c < 0x7F) ? QLatin1Char(c) : QLatin1Char('?');
    return text.isEmpty() ? QStringLiteral("?") : text;
}

} // namespace

SimLogEntry SimLogEntry::fromFrame(const QByteArray &frame)
{
    const SimRequest request = SimFrame::parseRequest(frame);
    SimLogEntry entry;
    entry.station = request.station;
    if (request.isBitRead())
        entry.command = QStringLiteral("read bits");
    else if (request.isRegisterRead())
        entry.command = QStringLiteral("read");
    else if (request.isRegisterWrite())
        entry.command = QStringLiteral("write");
    else
        entry.command = printable(request.command);
    if (request.area != SimArea::None)
        entry.label = SimLabel{request.area, request.start}.text();
    entry.count = request.count;
    return entry;
}

SimLogEntry SimLogEntry::change(const QString &origin, int station, const QString &command, const QString &label,
                                const QString &detail)
{
    SimLogEntry entry;
    entry.origin = origin;
    entry.station = station;
    entry.command = command;
    entry.label = label;
    entry.detail = detail;
    return entry;
}

QString SimLogEntry::text() const
{
    const QString time = QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(QStringLiteral("HH:mm:ss.zzz"));
    const QString stationText = station < 0 ? QStringLiteral("?") : QString::number(station);
    QString line;
    if (outcome.isEmpty()) {
        line = QStringLiteral("%1 %2: %3%4").arg(time, origin, station < 0 ? QString() : QStringLiteral("station %1 ").arg(station), command);
        if (!label.isEmpty())
            line += QLatin1Char(' ') + label;
    } else {
        line = QStringLiteral("%1 station %2 %3 %4 count %5: %6")
                .arg(time, stationText, command, label.isEmpty() ? QStringLiteral("-") : label)
                .arg(count).arg(outcome);
    }
    if (synchronising)
        line += QStringLiteral(" (synchronising read)");
    if (!detail.isEmpty())
        line += (outcome.isEmpty() ? QStringLiteral(": ") : QStringLiteral(" [")) + detail
                + (outcome.isEmpty() ? QString() : QStringLiteral("]"));
    return line;
}
