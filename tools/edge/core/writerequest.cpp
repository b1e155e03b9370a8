// SPDX-License-Identifier: LGPL-2.1-or-later
#include "writerequest.h"

#include "ValueText.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QStringList>

namespace WriteRequest {

bool parse(const QByteArray &payload, QJsonValue *asSent, QJsonArray *values)
{
    // Qt reads only arrays and objects at the top: a scalar is wrapped, and
    // the wrapper must then hold exactly one value.
    QJsonParseError error{};
    const QJsonArray outer = QJsonDocument::fromJson("[" + payload + "]", &error).array();
    if (error.error != QJsonParseError::NoError || outer.size() != 1)
        return false;
    *asSent = outer.first();
    *values = asSent->isArray() ? asSent->toArray() : QJsonArray{*asSent};
    return true;
}

QString typedValues(ValueTypes::Type type, const QJsonArray &values, QVariant *list)
{
    QStringList texts;
    const DataType dataType = ValueText::dataType(type);
    const QString refusal = ValueText::textsFromJson(dataType, values, &texts);
    if (!refusal.isEmpty())
        return refusal;
    return ValueText::parseValues(dataType, texts, list);
}

} // namespace WriteRequest
