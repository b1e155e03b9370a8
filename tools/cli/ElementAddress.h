// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_ELEMENTADDRESS_H
#define NORVO_CLI_ELEMENTADDRESS_H

#include "Invocation.h"
#include "ResultText.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

// Where each element of an item lies in the PLC, named as the command line
// names labels, and what fits one request.
namespace ElementAddress {

// The label of element `index` of an item from `first` on: D100 as int32
// gives D100, D102, ...; X17 as bool X17, X18, ...; 8-bit values share a
// register, its high byte first: D100.hi, D100.lo, D101.hi, ...
QString label(const QString &first, DataType type, int index);
// The labels of all `count` elements.
QStringList labels(const QString &first, DataType type, int count);

// One result per element, each under its own label with its own value; a
// failed result gives a failed row per element.
QList<LabelResult> split(const LabelResult &result);

// Why the driver refused `count` values of `type` at `label` (status 4 or
// 5), naming the limit: the text to add to its refusal, or empty.
QString countLimit(const QString &label, DataType type, int count, bool write);

} // namespace ElementAddress

#endif
