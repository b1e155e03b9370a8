// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef REQUESTPLAN_H
#define REQUESTPLAN_H

#include "DataType.h"
#include "Limits.h"

#include <QtCore/QtGlobal>

// The shape of the one request that serves a label read or write.
namespace RequestPlan {

// The most units one request carries.
constexpr qint64 maxUnits = Limits::maxUnits;

// A read is a bit read on the discrete input and output areas and a register
// read everywhere else; units are bits or registers. Every read returns
// exactly count values:
//   bit areas:      count bits for DT_Bool, width x count bits for values
//                   (the lowest bit address is a value's least significant bit);
//   register areas: count/16 registers rounded up for DT_Bool (bit 0 of a
//                   register first), count/2 rounded up for 8-bit values (a
//                   register's high byte first), width/16 x count for wider ones.
// A type the PLC has no layout for reads count bits or 0 registers.
struct Read
{
    bool bitRead;
    qint64 units;
};
Read read(DataType type, int count, int area);

// A write is a register write on every area, of the whole registers that
// count values fill: count/2 for 8-bit values, width/16 x count for wider
// ones, 0 for a type that cannot be written.
struct Write
{
    qint64 units;
};
Write write(DataType type, int count);

} // namespace RequestPlan

#endif // REQUESTPLAN_H
