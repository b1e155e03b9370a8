// SPDX-License-Identifier: LGPL-2.1-or-later
// The log routes of SimApi: entries after a sequence, filtered, as JSON or CSV.

#include "simapi.h"

#include "simapijson.h"
#include "simserver.h"
#include "simlogfilter.h"

#include "Limits.h"

#include <QtCore/QDateTime>
#include <QtCore/QJsonArray>

#include <limits>

using namespace SimApiJson;

Reply SimApi::getLog(const QMap<QString, QString> &query, bool csv)
{
    qint64 since = 0;
    QString error;
    const QString sinceText = query.value(QStringLiteral("since"));
    if (!sinceText.isNull() && !wholeNumber(QStringLiteral("since"), sinceText, 0, std::numeric_limits<qint64>::max(), &since, &error))
        return fail(error);
    SimLogFilter filter;
    const QString failed = query.value(QStringLiteral("failed"));
    if (!failed.isNull() && failed != QLatin1String("0") && failed != QLatin1String("1"))
        return fail(QStringLiteral("failed takes 0 or 1, not \"%1\"").arg(failed));
    filter.failedOnly = failed == QLatin1String("1");
    qint64 station = -1;
    const QString stationText = query.value(QStringLiteral("station"));
    if (!stationText.isEmpty() && !wholeNumber(QStringLiteral("station"), stationText, 0, Limits::maxStation, &station, &error))
        return fail(error);
    filter.station = int(station);
    const QString labelText = query.value(QStringLiteral("label"));
    if (!labelText.isEmpty()) {
        const SimLabel label = SimLabel::parse(labelText, &error);
        if (!label.isValid())
            return fail(QStringLiteral("unknown label: %1").arg(error));
        filter.label = label.text();
    }

    const QList<SimLogEntry> all = plc->logEntries(since);
    QList<SimLogEntry> chosen;
    for (const SimLogEntry &entry : all) {
        if (filter.matches(entry))
            chosen << entry;
    }
    if (csv)
        return Reply{200, SimLogFilter::csv(chosen), "text/csv; charset=utf-8", QStringLiteral("norvo-sim-log.csv")};
    QJsonArray entries;
    for (const SimLogEntry &entry : qAsConst(chosen)) {
        entries.append(QJsonObject{
                {QStringLiteral("sequence"), double(entry.sequence)},
                {QStringLiteral("time"), QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC).toString(Qt::ISODateWithMs)},
                {QStringLiteral("origin"), entry.origin},
                {QStringLiteral("station"), entry.station},
                {QStringLiteral("command"), entry.command},
                {QStringLiteral("label"), entry.label},
                {QStringLiteral("count"), entry.count},
                {QStringLiteral("outcome"), entry.outcome},
                {QStringLiteral("detail"), entry.detail},
                {QStringLiteral("failed"), entry.failed},
                {QStringLiteral("synchronising"), entry.synchronising}});
    }
    // The newest sequence looked at, so a filtered reader can ask on from there.
    const double last = all.isEmpty() ? double(since) : double(all.last().sequence);
    return json(200, QJsonObject{{QStringLiteral("entries"), entries}, {QStringLiteral("last"), last}});
}
