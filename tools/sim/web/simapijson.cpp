// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simapijson.h"

#include "Areas.h"
#include "Limits.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>

#include <cmath>

namespace SimApiJson {

Reply json(int status, const QJsonObject &object)
{
    Reply reply;
    reply.status = status;
    reply.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return reply;
}

Reply fail(const QString &error, int status)
{
    return json(status, QJsonObject{{QStringLiteral("error"), error}});
}

bool bodyObject(const QByteArray &body, const QString &shape, QJsonObject *object, Reply *refusal)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        *refusal = fail(QStringLiteral("malformed JSON: %1 at offset %2").arg(parseError.errorString()).arg(parseError.offset));
        return false;
    }
    if (!document.isObject()) {
        *refusal = fail(QStringLiteral("the body must be a JSON object %1").arg(shape));
        return false;
    }
    *object = document.object();
    return true;
}

QJsonValue toJson(SimType type, quint64 pattern)
{
    if (type == SimType::Bool)
        return QJsonValue(pattern != 0);
    const double number = SimTypes::toDouble(type, pattern);
    const bool inexact = !SimTypes::isFloat(type) && std::fabs(number) > 9007199254740992.0;
    if (!std::isfinite(number) || inexact)
        return QJsonValue(SimTypes::text(type, pattern));
    return QJsonValue(number);
}

bool fromJson(SimType type, const QJsonValue &value, quint64 *pattern, QString *error)
{
    if (type == SimType::Bool && value.isBool()) {
        *pattern = value.toBool() ? 1 : 0;
        return true;
    }
    if (value.isDouble())
        return SimTypes::fromNumber(type, value.toDouble(), pattern, error);
    if (value.isString())
        return SimTypes::parse(type, value.toString(), pattern, error);
    const QString shown = QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
    *error = QStringLiteral("value %1 is of the wrong type for %2").arg(shown.mid(1, shown.size() - 2),
                                                                        SimTypes::name(type));
    return false;
}

bool wholeNumber(const QString &name, const QString &text, qint64 lowest, qint64 highest, qint64 *value,
                 QString *error)
{
    bool ok = false;
    const qint64 number = text.toLongLong(&ok, 10);
    if (!ok || number < lowest || number > highest) {
        *error = QStringLiteral("%1 takes a whole number from %2 to %3, not \"%4\"")
                .arg(name).arg(lowest).arg(highest).arg(text);
        return false;
    }
    *value = number;
    return true;
}

QString jsonText(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    if (value.isDouble())
        return QString::number(value.toDouble(), 'g', 17);
    return QStringLiteral("(not a number)");
}


QString readTarget(const QString &labelText, const QString &typeText, const QString &countText,
                   const QString &stationText, const QList<int> &stations, Target *target)
{
    QString error;
    target->label = SimLabel::parse(labelText, &error);
    if (!target->label.isValid())
        return QStringLiteral("unknown label: %1").arg(error);
    target->type = SimAreas::isBitArea(target->label.area) ? SimType::Bool : SimType::UInt16;
    if (!typeText.isEmpty()) {
        bool ok = false;
        target->type = SimTypes::fromName(typeText, &ok);
        if (!ok)
            return QStringLiteral("unknown type \"%1\" (%2)").arg(typeText, SimTypes::names().join(QStringLiteral(", ")));
    }
    qint64 number = target->count;
    if (!countText.isNull() && !wholeNumber(QStringLiteral("count"), countText, 1, SimAreas::elementCount, &number, &error))
        return error;
    target->count = int(number);
    number = stations.first();
    if (!stationText.isNull() && !wholeNumber(QStringLiteral("station"), stationText, 0, Limits::maxStation, &number, &error))
        return error;
    target->station = int(number);
    if (!stations.contains(target->station))
        return QStringLiteral("station %1 is not simulated").arg(target->station);
    if (!SimTypes::fits(target->label.area, target->label.element, target->type, target->count)) {
        return QStringLiteral("%1 %2 value(s) from %3 reach past element %4")
                .arg(target->count).arg(SimTypes::name(target->type), target->label.text())
                .arg(Areas::lastElement);
    }
    return QString();
}

QJsonObject memoryObject(const Target &target, const QVector<quint64> &patterns)
{
    QJsonArray values;
    QJsonArray hex;
    const int digits = qMax(1, SimTypes::bits(target.type) / 4);
    for (const quint64 pattern : patterns) {
        values.append(toJson(target.type, pattern));
        hex.append(QStringLiteral("0x%1").arg(QString::number(pattern, 16).toUpper().rightJustified(digits, QLatin1Char('0'))));
    }
    return QJsonObject{{QStringLiteral("label"), target.label.text()},
                       {QStringLiteral("type"), SimTypes::name(target.type)},
                       {QStringLiteral("station"), target.station},
                       {QStringLiteral("values"), values},
                       {QStringLiteral("hex"), hex}};
}

QString unknownParameter(const QMap<QString, QString> &query, const QStringList &known)
{
    for (auto it = query.begin(); it != query.end(); ++it) {
        if (!known.contains(it.key())) {
            return known.isEmpty() ? QStringLiteral("unknown query parameter \"%1\" (this request takes none)").arg(it.key())
                                   : QStringLiteral("unknown query parameter \"%1\" (%2)").arg(it.key(), known.join(QStringLiteral(", ")));
        }
    }
    return QString();
}

QString unknownFields(const QJsonObject &object, const QStringList &known)
{
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key()))
            return QStringLiteral("unknown field \"%1\" (%2)").arg(it.key(), known.join(QStringLiteral(", ")));
    }
    return QString();
}

} // namespace SimApiJson
