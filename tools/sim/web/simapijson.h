// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMAPIJSON_H
#define SIMAPIJSON_H

#include "simapi.h"
#include "simlabel.h"
#include "simtyped.h"

#include <QtCore/QJsonObject>
#include <QtCore/QJsonValue>
#include <QtCore/QList>
#include <QtCore/QVector>

// What the routes of SimApi share: JSON answers and refusals, values to and
// from JSON, and the checks of labels, numbers, fields and parameters.
namespace SimApiJson {

using Reply = SimApi::Reply;

Reply json(int status, const QJsonObject &object);
Reply fail(const QString &error, int status = 400);

// The request body as a JSON object; false with the refusal in `refusal`.
// `shape` shows the caller what the object looks like.
bool bodyObject(const QByteArray &body, const QString &shape, QJsonObject *object, Reply *refusal);

// Integers beyond 2^53 and floats that JSON has no number for travel as text.
QJsonValue toJson(SimType type, quint64 pattern);
bool fromJson(SimType type, const QJsonValue &value, quint64 *pattern, QString *error);

// A whole number from a query parameter or JSON; false with `error` set.
bool wholeNumber(const QString &name, const QString &text, qint64 lowest, qint64 highest, qint64 *value,
                 QString *error);
QString jsonText(const QJsonValue &value);

// What a memory request addresses.
struct Target {
    SimLabel label;
    SimType type = SimType::UInt16;
    int count = 1;
    int station = 1;
};
// The refusal, or empty when `target` is usable.
QString readTarget(const QString &labelText, const QString &typeText, const QString &countText,
                   const QString &stationText, const QList<int> &stations, Target *target);

// The values, and each one's bit pattern in hex for a closer look.
QJsonObject memoryObject(const Target &target, const QVector<quint64> &patterns);

// A query parameter or a field the request does not take; empty when none.
QString unknownParameter(const QMap<QString, QString> &query, const QStringList &known);
QString unknownFields(const QJsonObject &object, const QStringList &known);

} // namespace SimApiJson

#endif
