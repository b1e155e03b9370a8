// SPDX-License-Identifier: LGPL-2.1-or-later
#include "samplepayload.h"

#include "JsonNumbers.h"
#include "elementtype_p.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <charconv>
#include <cmath>
#include <type_traits>

namespace {

// A float as the double of its shortest decimal, 0.1f as 0.1 rather than
// 0.10000000149011612: what a reader of the JSON expects to see.
double shortestDecimal(float value)
{
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof text, value);
    double decimal = value;
    std::from_chars(text, written.ptr, decimal);
    return decimal;
}

// JSON numbers have no nan or infinities: those travel as texts.
QJsonValue floating(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return value;
}

template<typename T>
QJsonValue element(T value)
{
    if constexpr (std::is_same<T, bool>::value)
        return value;
    else if constexpr (std::is_same<T, float>::value)
        return std::isfinite(value) ? QJsonValue(shortestDecimal(value)) : floating(value);
    else if constexpr (std::is_same<T, double>::value)
        return floating(value);
    else if constexpr (sizeof(T) == 8)
        return std::fabs(double(value)) >= JsonNumbers::exactLimit ? QJsonValue(QString::number(value))
                                                                   : QJsonValue(double(value));
    else
        return double(value);
}

} // namespace

namespace SamplePayload {

QJsonValue jsonValue(const QVariant &list, int count)
{
    QJsonValue json(QJsonValue::Undefined);
    for (int type = DT_Bool; type <= DT_Double; ++type) {
        ElementType::visitStored(DataType(type), [&](auto tag) {
            using Stored = typename decltype(tag)::Type;
            // Plain char is unsigned here; the record's char elements are int8.
            using Logical = std::conditional_t<std::is_same<Stored, char>::value, signed char, Stored>;
            if (list.userType() != qMetaTypeId<QList<Stored>>())
                return;
            const QList<Stored> values = list.value<QList<Stored>>();
            if (count < 1 || values.size() < count)
                return;
            QJsonArray array;
            for (int i = 0; i < count; ++i)
                array.append(element(static_cast<Logical>(values.at(i))));
            json = count == 1 ? array.first() : QJsonValue(array);
        });
    }
    return json;
}

QString timeText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODateWithMs);
}

QByteArray payload(const Sample &sample, const QDateTime &time, qint64 seq)
{
    const bool noValue = sample.failed() || sample.value.isUndefined();
    QJsonObject object{
        {QStringLiteral("value"), noValue ? QJsonValue() : sample.value},
        {QStringLiteral("status"), sample.status},
        {QStringLiteral("time"), timeText(time)},
        {QStringLiteral("seq"), seq},
    };
    if (sample.failed())
        object.insert(QStringLiteral("reason"), sample.reason);
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace SamplePayload
