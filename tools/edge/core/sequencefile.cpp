// SPDX-License-Identifier: LGPL-2.1-or-later
#include "sequencefile.h"

#include "JsonNumbers.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <cmath>

namespace SequenceFile {

QHash<QString, qint64> parse(const QByteArray &bytes)
{
    QHash<QString, qint64> sequences;
    const QJsonObject saved = QJsonDocument::fromJson(bytes).object();
    for (auto it = saved.begin(); it != saved.end(); ++it) {
        const double value = it.value().toDouble(-1);
        // Converting a double past qint64's range is undefined.
        if (value >= 0 && value <= JsonNumbers::exactLimit && std::trunc(value) == value)
            sequences.insert(it.key(), qint64(value));
    }
    return sequences;
}

QByteArray serialized(const QHash<QString, qint64> &sequences)
{
    QJsonObject object;
    for (auto it = sequences.begin(); it != sequences.end(); ++it)
        object.insert(it.key(), double(it.value()));
    return QJsonDocument(object).toJson();
}

} // namespace SequenceFile
