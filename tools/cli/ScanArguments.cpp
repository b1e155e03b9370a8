// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ArgumentChecks.h"
#include "Limits.h"
#include "SerialLine.h"

namespace {

const int maxStation = Limits::maxStation;

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
        const QString error = checkBaud(word);
        if (!error.isEmpty())
            return error;
        invocation->bauds << word.toInt();
    }
    return QString();
}

// Data bits, parity, stop bits: "8N1,7E1".
QString readFormats(const QString &text, Invocation *invocation)
{
    invocation->formats.clear();
    for (const QString &word : text.split(QLatin1Char(','))) {
        LineFormat format;
        const bool ok = word.size() == 3
                        && readNumber(word.left(1), SerialLine::minDataBits, SerialLine::maxDataBits,
                                      &format.dataBits)
                        && SerialLine::isParity(word.at(1))
                        && readNumber(word.right(1), SerialLine::minStopBits, SerialLine::maxStopBits,
                                      &format.stopBits);
        if (!ok) {
            return QStringLiteral("line format %1 is not data bits (5 to 8), parity (N, E, O) "
                                  "and stop bits (1, 2, 3 for one and a half), like 8N1")
                .arg(quoted(word));
        }
        format.parity = word.at(1).toUpper();
        invocation->formats << format;
    }
    return QString();
}

} // namespace ArgumentChecks
