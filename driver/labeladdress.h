// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LABELADDRESS_H
#define LABELADDRESS_H

#include "AreaType.h"
#include "DataType.h"

#include <QtCore/QString>

// Label address texts ("D100", "TMR5", "M0016") turned into what a request
// needs: the PLC memory area (NorvoArea::AreaType), the four-digit element
// number and the byte length of the data. Pure functions; LibNorvoTCP's
// members delegate here.
namespace LabelAddress {

// The first of the area texts found anywhere in the label, case-insensitively.
NorvoArea::AreaType area(const QString &label);

// acc followed by every ASCII digit of src, in order.
QString digits(const QString &src, const QString &acc);

// The label's digits as exactly four characters ("0100"), or a null text when
// there is no area, no digit or more than four digits.
QString number(const QString &label, NorvoArea::AreaType area);

// Bytes of count elements of type; 0 for a type the PLC has no layout for.
int byteLength(DataType type, int count);

// The discrete input and output areas are read bit by bit, every other area by registers.
bool isBitArea(int area);

} // namespace LabelAddress

#endif // LABELADDRESS_H
