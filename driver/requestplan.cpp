// SPDX-License-Identifier: LGPL-2.1-or-later
#include "requestplan.h"

#include "labeladdress.h"
#include "valuecoding.h"

namespace RequestPlan {

Read read(DataType type, int count, int area)
{
    const int bits = ValueCoding::valueBits(type);
    if (LabelAddress::isBitArea(area))
        return {true, qint64(bits > 0 ? bits : 1) * count};
    switch (bits) {
    case 0:
        return {false, 0};
    case 1:
        return {false, (qint64(count) + 15) / 16};
    case 8:
        return {false, (qint64(count) + 1) / 2};
    default:
        return {false, qint64(bits / 16) * count};
    }
}

Write write(DataType type, int count)
{
    if (!ValueCoding::writable(type))
        return {0};
    return {LabelAddress::byteLength(type, count) / 2};
}

} // namespace RequestPlan
