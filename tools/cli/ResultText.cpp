#include "ResultText.h"

#include "StatusText.h"
#include "ValueText.h"

#include <QtCore/QStringList>

namespace {

const char timeFormat[] = "yyyy-MM-dd hh:mm:ss.zzz";

QString jsonString(const QString &text)
{
    QString out = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\') + c;
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out + QLatin1Char('"');
}

QString valuesText(const LabelResult &result)
{
    QStringList texts;
    if (!ValueText::formatValues(result.type, result.value, ValueText::Style::Plain, &texts))
        return QStringLiteral("-");
    return texts.join(QLatin1String(", "));
}

QString statusText(int status)
{
    return QString::number(status) + QLatin1Char(' ') + StatusText::labelStatus(status);
}

QString timeText(const QDateTime &time)
{
    return time.isValid() ? time.toString(QLatin1String(timeFormat)) : QStringLiteral("-");
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

QString ResultTable::header(const LabelResult &first)
{
    labelWidth_ = qMax(5, first.label.size());
    typeWidth_ = qMax(4, ValueText::typeName(first.type).size());
    valuesWidth_ = qMax(6, valuesText(first).size());
    statusWidth_ = qMax(6, statusText(first.status).size());
    return columns(QStringLiteral("label"), QStringLiteral("type"), QStringLiteral("values"),
                   QStringLiteral("status"), QStringLiteral("time"));
}

QString ResultTable::row(const LabelResult &result) const
{
    return columns(result.label, ValueText::typeName(result.type), valuesText(result),
                   statusText(result.status), timeText(result.time));
}

QString ResultTable::columns(const QString &label, const QString &type, const QString &values,
                             const QString &status, const QString &time) const
{
    const QString gap = QStringLiteral("  ");
    return label.leftJustified(labelWidth_) + gap + type.leftJustified(typeWidth_) + gap
           + values.leftJustified(valuesWidth_) + gap + status.leftJustified(statusWidth_) + gap
           + time;
}

QString resultJson(const LabelResult &result)
{
    QStringList texts;
    const QString values =
        ValueText::formatValues(result.type, result.value, ValueText::Style::Json, &texts)
            ? QLatin1Char('[') + texts.join(QLatin1Char(',')) + QLatin1Char(']')
            : QStringLiteral("null");
    const QString time = result.time.isValid()
                             ? jsonString(result.time.toString(Qt::ISODateWithMs))
                             : QStringLiteral("null");
    return QStringLiteral("{\"label\":%1,\"type\":%2,\"count\":%3,\"values\":%4,\"status\":%5,"
                          "\"meaning\":%6,\"time\":%7}")
        .arg(jsonString(result.label), jsonString(ValueText::typeName(result.type)),
             QString::number(result.count), values, QString::number(result.status),
             jsonString(StatusText::labelStatus(result.status)), time);
}

QString summaryText(const PollSummary &summary)
{
    return QStringLiteral("poll %1: %2 reads, %3 good, %4 failed")
        .arg(summary.interrupted ? QStringLiteral("stopped") : QStringLiteral("done"))
        .arg(summary.good + summary.failed)
        .arg(summary.good)
        .arg(summary.failed);
}

QString summaryJson(const PollSummary &summary)
{
    return QStringLiteral("{\"reads\":%1,\"good\":%2,\"failed\":%3,\"interrupted\":%4}")
        .arg(summary.good + summary.failed)
        .arg(summary.good)
        .arg(summary.failed)
        .arg(summary.interrupted ? QStringLiteral("true") : QStringLiteral("false"));
}

QString infoText(const DriverInfo &info)
{
    QString text = QStringLiteral("plug-in     %1\n"
                                  "driver      %2\n"
                                  "version     %3\n"
                                  "build       %4\n")
                       .arg(info.plugin, info.name, info.version, info.build);
    if (!info.connection.isEmpty()) {
        text += QStringLiteral("connection  %1: %2 %3\n")
                    .arg(info.connection, QString::number(info.connectResult),
                         StatusText::connectResult(info.connectResult, info.connection));
    }
    return text;
}

QString infoJson(const DriverInfo &info)
{
    QString json = QStringLiteral("{\"plugin\":%1,\"name\":%2,\"version\":%3,\"build\":%4")
                       .arg(jsonString(info.plugin), jsonString(info.name),
                            jsonString(info.version), jsonString(info.build));
    if (!info.connection.isEmpty()) {
        json += QStringLiteral(",\"connection\":%1,\"connect\":%2,\"meaning\":%3")
                    .arg(jsonString(info.connection), QString::number(info.connectResult),
                         jsonString(StatusText::connectResult(info.connectResult,
                                                              info.connection)));
    }
    return json + QLatin1Char('}');
}
