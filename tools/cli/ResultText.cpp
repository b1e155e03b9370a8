// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ResultText.h"

#include "StatusText.h"
#include "ValueText.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QStringList>

namespace {

const char timeFormat[] = "yyyy-MM-dd hh:mm:ss.zzz";

QString valuesText(const LabelResult &result, const QString &separator,
                   ValueText::Style style = ValueText::Style::Plain)
{
    QStringList texts;
    if (!ValueText::formatValues(result.type, result.value, style, &texts))
        return QStringLiteral("-");
    return texts.join(separator);
}

// A failed request's meaning, and what norvo knows of its cause.
QString failureText(const LabelResult &result)
{
    if (result.status == 0)
        return QString();
    const QString meaning = StatusText::labelStatus(result.status);
    return result.reason.isEmpty() ? meaning : meaning + QStringLiteral(": ") + result.reason;
}

QString csvField(const QString &text)
{
    static const QString special = QStringLiteral(",\"\r\n");
    for (const QChar c : text) {
        if (special.contains(c)) {
            QString doubled = text;
            doubled.replace(QLatin1Char('"'), QLatin1String("\"\""));
            return QLatin1Char('"') + doubled + QLatin1Char('"');
        }
    }
    return text;
}

} // namespace

QString dataProblem(const LabelResult &result)
{
    if (result.status != 0)
        return QString();
    QStringList texts;
    const QString type = ValueText::typeName(result.type);
    if (!ValueText::formatValues(result.type, result.value, ValueText::Style::Plain, &texts)) {
        return QStringLiteral("the driver reported success but returned no list of %1 values")
            .arg(type);
    }
    if (texts.size() != result.count) {
        return QStringLiteral("the driver reported success but returned %1 %2 values for %3")
            .arg(texts.size()).arg(type).arg(result.count);
    }
    return QString();
}

QString isoTime(const QDateTime &time)
{
    // A local time shows no offset of its own; fixed to it, it does.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

void ResultTable::reserve(const QString &label, DataType type, int count)
{
    labelWidth_ = qMax(labelWidth_, label.size());
    typeWidth_ = qMax(typeWidth_, ValueText::typeName(type).size());
    // A digit and a separator each, up to a point: room for the widest
    // value of a type would leave most rows trailing a wide gap.
    constexpr int widestReserved = 40;
    valuesWidth_ = qMax(valuesWidth_, int(qMin(qint64(widestReserved), qint64(count) * 3 - 2)));
}

void ResultTable::fit(const LabelResult &result)
{
    labelWidth_ = qMax(labelWidth_, qMax(5, result.label.size()));
    typeWidth_ = qMax(typeWidth_, qMax(4, ValueText::typeName(result.type).size()));
    valuesWidth_ = qMax(valuesWidth_,
                        qMax(6, valuesText(result, QStringLiteral(", "), style_).size()));
}

QString ResultTable::header(const LabelResult &first)
{
    fit(first);
    return columns(QStringLiteral("label"), QStringLiteral("type"), QStringLiteral("values"),
                   QStringLiteral("status"), QStringLiteral("time"), QStringLiteral("reason"));
}

QString ResultTable::row(const LabelResult &result) const
{
    return columns(result.label, ValueText::typeName(result.type),
                   valuesText(result, QStringLiteral(", "), style_),
                   QString::number(result.status),
                   result.time.toString(QLatin1String(timeFormat)), failureText(result));
}

// Status and time have fixed widths, so that a failure's row lines up with
// the good ones; what went wrong comes last, where its length harms nothing.
QString ResultTable::columns(const QString &label, const QString &type, const QString &values,
                             const QString &status, const QString &time,
                             const QString &reason) const
{
    const QString gap = QStringLiteral("  ");
    const int statusWidth = 6;                          // "status"
    const int timeWidth = int(sizeof timeFormat) - 1;   // "2024-05-01 12:00:00.123"
    QString line = label.leftJustified(labelWidth_) + gap + type.leftJustified(typeWidth_) + gap
                   + values.leftJustified(valuesWidth_) + gap + status.leftJustified(statusWidth)
                   + gap + time.leftJustified(timeWidth);
    if (!reason.isEmpty())
        line += gap + reason;
    return line;
}

QString jsonLine(const QJsonObject &object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString resultJson(const LabelResult &result)
{
    return jsonLine(resultObject(result));
}

QJsonObject resultObject(const LabelResult &result)
{
    QJsonObject object;
    object.insert(QStringLiteral("label"), result.label);
    object.insert(QStringLiteral("type"), ValueText::typeName(result.type));
    object.insert(QStringLiteral("count"), result.count);
    QJsonArray values;
    if (ValueText::jsonValues(result.type, result.value, &values))
        object.insert(QStringLiteral("values"), values);
    else
        object.insert(QStringLiteral("values"), QJsonValue());
    object.insert(QStringLiteral("status"), result.status);
    object.insert(QStringLiteral("meaning"), StatusText::labelStatus(result.status));
    if (!result.reason.isEmpty())
        object.insert(QStringLiteral("reason"), result.reason);
    object.insert(QStringLiteral("time"), isoTime(result.time));
    object.insert(QStringLiteral("clock"),
                  result.timeFromDriver ? QStringLiteral("driver") : QStringLiteral("norvo"));
    return object;
}

QString csvHeader()
{
    return QStringLiteral("time,label,type,count,status,meaning,reason,values");
}

QString csvLine(const QStringList &fields)
{
    QStringList quoted;
    for (const QString &field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(','));
}

QString csvRow(const LabelResult &result, ValueText::Style style)
{
    return csvLine({isoTime(result.time), result.label, ValueText::typeName(result.type),
                    QString::number(result.count), QString::number(result.status),
                    StatusText::labelStatus(result.status), result.reason,
                    result.status == 0 ? valuesText(result, QStringLiteral(" "), style) : QString()});
}

QString summaryText(const PollSummary &summary)
{
    QString text = QStringLiteral("poll %1: %2 reads, %3 good, %4 failed")
                       .arg(summary.interrupted ? QStringLiteral("stopped") : QStringLiteral("done"))
                       .arg(summary.good + summary.failed)
                       .arg(summary.good)
                       .arg(summary.failed);
    if (summary.linkLost > 0 || summary.linkRestored > 0) {
        text += QStringLiteral("; link lost %1 times, restored %2 times")
                    .arg(summary.linkLost)
                    .arg(summary.linkRestored);
    }
    if (summary.requests > 0 && summary.requests < summary.labels) {
        text += QStringLiteral("; %1 labels in %2 requests a cycle")
                    .arg(summary.labels)
                    .arg(summary.requests);
    }
    if (summary.learntWaitMs > 0)
        text += QStringLiteral("; the driver learnt to wait %1 ms for an answer").arg(summary.learntWaitMs);
    return text;
}

QString summaryJson(const PollSummary &summary)
{
    QJsonObject object;
    object.insert(QStringLiteral("reads"), summary.good + summary.failed);
    object.insert(QStringLiteral("good"), summary.good);
    object.insert(QStringLiteral("failed"), summary.failed);
    object.insert(QStringLiteral("link_lost"), summary.linkLost);
    object.insert(QStringLiteral("link_restored"), summary.linkRestored);
    object.insert(QStringLiteral("interrupted"), summary.interrupted);
    if (summary.learntWaitMs > 0)
        object.insert(QStringLiteral("answer_wait_ms"), summary.learntWaitMs);
    if (summary.requests > 0 && summary.requests < summary.labels)
        object.insert(QStringLiteral("requests_per_cycle"), summary.requests);
    return jsonLine(object);
}

QString stationVerdict(const DriverInfo &info)
{
    if (info.readStatus == 0)
        return QStringLiteral("station %1 answers").arg(info.station);
    if (info.readStatus == 7) {
        // An answer came, only not a good one: someone answers there.
        return QStringLiteral("station %1 answers, but not with a usable answer (%2)")
            .arg(info.station)
            .arg(info.readReason.isEmpty() ? StatusText::labelStatus(7) : info.readReason);
    }
    if (info.readStatus == 9)
        return QStringLiteral("link lost before station %1 could be asked").arg(info.station);
    return QStringLiteral("link open, no answer from station %1").arg(info.station);
}

QString infoText(const DriverInfo &info)
{
    QString text = QStringLiteral("plug-in     %1\n"
                                  "driver      %2\n"
                                  "version     %3\n"
                                  "build       %4\n")
                       .arg(info.plugin, info.name, info.version, info.build);
    if (info.connectResult == 0 && !info.connection.isEmpty()) {
        text += QStringLiteral("connection  %1: the link is open\n").arg(info.connection);
    } else if (!info.connection.isEmpty()) {
        QString meaning = StatusText::connectResult(info.connectResult, info.connection);
        if (!info.connectProblem.isEmpty())
            meaning += QStringLiteral(": ") + info.connectProblem;
        text += QStringLiteral("connection  %1: the link did not open: %2 (ConnectDrive %3)\n")
                    .arg(info.connection, meaning, QString::number(info.connectResult));
    }
    if (info.readStatus >= 0)
        text += QStringLiteral("station     %1\n").arg(stationVerdict(info));
    return text;
}

QString infoJson(const DriverInfo &info)
{
    QJsonObject object;
    object.insert(QStringLiteral("plugin"), info.plugin);
    object.insert(QStringLiteral("name"), info.name);
    object.insert(QStringLiteral("version"), info.version);
    object.insert(QStringLiteral("build"), info.build);
    if (!info.connection.isEmpty()) {
        object.insert(QStringLiteral("connection"), info.connection);
        object.insert(QStringLiteral("connect"), info.connectResult);
        object.insert(QStringLiteral("meaning"),
                      StatusText::connectResult(info.connectResult, info.connection));
        if (!info.connectProblem.isEmpty())
            object.insert(QStringLiteral("problem"), info.connectProblem);
    }
    if (info.readStatus >= 0) {
        object.insert(QStringLiteral("station"), info.station);
        object.insert(QStringLiteral("answers"), info.readStatus == 0 || info.readStatus == 7);
        object.insert(QStringLiteral("status"), info.readStatus);
        object.insert(QStringLiteral("verdict"), stationVerdict(info));
    }
    return jsonLine(object);
}
