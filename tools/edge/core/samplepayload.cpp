// SPDX-License-Identifier: LGPL-2.1-or-later
#include "samplepayload.h"

#include "ValueText.h"
#include "elementtype_p.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>



namespace SamplePayload {

QJsonValue jsonValue(const QVariant &list, int count)
{
    for (int type = DT_Bool; type <= DT_Double; ++type) {
        bool holds = false;
        ElementType::visitStored(DataType(type), [&](auto tag) {
            holds = list.userType() == qMetaTypeId<QList<typename decltype(tag)::Type>>();
        });
        if (!holds)
            continue;
        QJsonArray array;
        if (count < 1 || !ValueText::jsonValues(DataType(type), list, &array) || array.size() < count)
            break;
        while (array.size() > count)
            array.removeLast();
        return count == 1 ? array.first() : QJsonValue(array);
    }
    return QJsonValue(QJsonValue::Undefined);
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
