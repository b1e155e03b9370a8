// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simlogentry.h"

#include "simframe.h"
#include "simlabel.h"

#include <QtCore/QDateTime>

QString SimLogEntry::escaped(const QByteArray &bytes)
{
    QString text;
    for (const char c : bytes) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (c == '\\')
            text += QLatin1String("\\\\");
        else if (byte >= 0x20 && byte < 0x7F)
            text += QLatin1Char(c);
        else
            text += QLatin1String("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
    }
    return text;
}

SimLogEntry SimLogEntry::fromFrame(const QByteArray &frame)
{
    const SimRequest request = SimFrame::parseRequest(frame);
    SimLogEntry entry;
    entry.station = request.station;
    if (request.station < 0) {
        // Not a request: what came is all there is to show.
        entry.command = QStringLiteral("bytes");
        entry.detail = escaped(frame);
        return entry;
    }
    if (request.isBitRead())
        entry.command = QStringLiteral("read bits");
    else if (request.isRegisterRead())
        entry.command = QStringLiteral("read");
    else if (request.isRegisterWrite())
        entry.command = QStringLiteral("write");
    else
        entry.command = escaped(request.command);
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
    QString line;
    if (outcome.isEmpty()) {
        line = QStringLiteral("%1 %2: %3%4").arg(time, origin, station < 0 ? QString() : QStringLiteral("station %1 ").arg(station), command);
        if (!label.isEmpty())
            line += QLatin1Char(' ') + label;
    } else if (station < 0) {
        // Bytes that named no station: what came, and why nothing answered.
        return QStringLiteral("%1 received %2: %3")
                .arg(time, detail.isEmpty() ? command : QLatin1Char('"') + detail + QLatin1Char('"'), outcome);
    } else {
        line = QStringLiteral("%1 station %2 %3 %4 count %5: %6")
                .arg(time, QString::number(station), command, label.isEmpty() ? QStringLiteral("-") : label)
                .arg(count).arg(outcome);
    }
    if (synchronising)
        line += QStringLiteral(" (synchronising read)");
    if (!detail.isEmpty())
        line += (outcome.isEmpty() ? QStringLiteral(": ") : QStringLiteral(" [")) + detail
                + (outcome.isEmpty() ? QString() : QStringLiteral("]"));
    return line;
}
