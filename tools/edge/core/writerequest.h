// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_WRITEREQUEST_H
#define NORVO_EDGE_WRITEREQUEST_H

#include "ValueTypes.h"

#include <QtCore/QByteArray>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonValue>
#include <QtCore/QString>
#include <QtCore/QVariant>

// A write that arrives over MQTT: the payload of TAG/set, and its values as
// the list the driver writes. Kept apart from the daemon so that it is
// tested, and fuzzed, without a broker.
namespace WriteRequest {

// A TAG/set payload: one JSON value or an array of them. False when the
// bytes are no single JSON value; else *asSent is that value and *values
// the elements (a scalar as an array of one).
bool parse(const QByteArray &payload, QJsonValue *asSent, QJsonArray *values);

// JSON values as the list a record of `type` holds, as ValueText reads
// them. Returns an empty text, or why the first bad value was refused.
QString typedValues(ValueTypes::Type type, const QJsonArray &values, QVariant *list);

} // namespace WriteRequest

#endif
