// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_SAMPLEPAYLOAD_H
#define NORVO_EDGE_SAMPLEPAYLOAD_H

#include "sample.h"

#include <QtCore/QByteArray>
#include <QtCore/QDateTime>
#include <QtCore/QJsonValue>
#include <QtCore/QVariant>

// What a tag's topic carries: one sample as JSON,
//   {"value": V, "status": 0, "time": "2026-12-09T15:04:05.123Z", "seq": N}
// with "value": null and a "reason" for a failed read.
namespace SamplePayload {

// The first count elements of the list a record's value holds (QList<short>
// for int16, as the driver returns it): one value for a count of 1, an
// array otherwise. Bits are true and false, numbers numbers; what a JSON
// number cannot carry exactly travels as a text: 64-bit integers from 2^53
// on as their decimal digits, float nan and infinities as "nan", "inf" and
// "-inf". Undefined when the value holds none of the driver's lists, or
// fewer than count elements.
QJsonValue jsonValue(const QVariant &list, int count);

// The time as the payload gives it: UTC, milliseconds, ISO 8601.
QString timeText(const QDateTime &time);

// The payload of a sample read at `time`, the seq'th of its tag.
QByteArray payload(const Sample &sample, const QDateTime &time, qint64 seq);

} // namespace SamplePayload

#endif
