// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ArgumentChecks.h"

#include <QtCore/QRegularExpression>

namespace {

const int maxStation = 255;

} // namespace

QString LineFormat::text() const
{
    return QString::number(dataBits) + parity + QString::number(stopBits);
}

namespace ArgumentChecks {

// "A-B" or a single station.
QString readStations(const QString &text, Invocation *invocation)
{
    const QStringList ends = text.split(QLatin1Char('-'));
    int first = 0;
    int last = 0;
    const bool ok = ends.size() <= 2 && readNumber(ends.first(), 0, maxStation, &first)
                    && readNumber(ends.last(), 0, maxStation, &last);
    if (!ok || first > last) {
        return QStringLiteral("stations %1 are not a range A-B of station numbers from 0 to %2, "
                              "A not above B")
            .arg(quoted(text), QString::number(maxStation));
    }
    invocation->firstStation = first;
    invocation->lastStation = last;
    return QString();
}

QString readBauds(const QString &text, Invocation *invocation)
{
    invocation->bauds.clear();
    for (const QString &word : text.split(QLatin1Char(','))) {
        int baud = 0;
        if (!readNumber(word, 1, 1000000, &baud) || !driverBaudRates().contains(baud)) {
            return QStringLiteral("baud rate %1 is not one the driver sets "
                                  "(1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200)")
                .arg(quoted(word));
        }
        invocation->bauds << baud;
    }
    return QString();
}

// Data bits, parity, stop bits: "8N1,7E1".
QString readFormats(const QString &text, Invocation *invocation)
{
    static const QRegularExpression form(QStringLiteral("^([5-8])([NEOneo])([123])$"));
    invocation->formats.clear();
    for (const QString &word : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = form.match(word);
        if (!match.hasMatch()) {
            return QStringLiteral("line format %1 is not data bits (5 to 8), parity (N, E, O) "
                                  "and stop bits (1, 2, 3 for one and a half), like 8N1")
                .arg(quoted(word));
        }
        LineFormat format;
        format.dataBits = match.captured(1).toInt();
        format.parity = match.captured(2).at(0).toUpper();
        format.stopBits = match.captured(3).toInt();
        invocation->formats << format;
    }
    return QString();
}

} // namespace ArgumentChecks
