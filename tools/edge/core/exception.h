// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_EXCEPTION_H
#define NORVO_EDGE_EXCEPTION_H

#include "DataType.h"
#include "sample.h"

#include <QtCore/QVariant>

#include <optional>

// Report by exception: a tag publishes when something changed, not on
// every read.
namespace Exception {

// Whether to publish `sample`, given what the tag published last (nothing
// before its first sample) and its deadband (negative: none).
//   - the first sample, and any change of status, are published;
//   - a failed read is published once, however its reason changes later;
//   - a number is published when it moved more than the deadband away from
//     the last published one (so a slow drift is published in the end);
//     arrays when any element did, or their length changed;
//   - anything else (bits, "nan", texts) on any change.
// The caller keeps the sample as the last published one when this says yes.
bool publish(const std::optional<Sample> &last, const Sample &sample, double deadband);

// Whether two of the driver's lists of `type` hold the same elements, bit
// for bit. A read that repeats the one before it (same status, reason and
// list) cannot be published, whatever was published last: a link need not
// pass it on. False for anything not such a list, as it may be news.
bool sameList(DataType type, const QVariant &a, const QVariant &b);

} // namespace Exception

#endif
