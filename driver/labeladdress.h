#ifndef LABELADDRESS_H
#define LABELADDRESS_H

#include "DataType.h"

#include <QtCore/QString>

// Label address texts ("D100", "TMR5", "M0016") turned into what a request
// needs: the PLC memory area, the four-digit element number and the byte
// length of the data. Pure functions; LibNorvoTCP's members delegate here.
namespace LabelAddress {

// An area is the two ASCII characters the PLC names it by, first in the high byte.
constexpr int areaCode(char first, char second)
{
    return (static_cast<unsigned char>(first) << 8) | static_cast<unsigned char>(second);
}

enum Area : int {
    NoArea = 0,
    TimerRegisters = areaCode('R', 'T'),
    CounterRegisters = areaCode('R', 'C'),
    RRegisters = areaCode('R', '0'),
    DRegisters = areaCode('D', '0'),
    InputWords = areaCode('W', 'X'),
    OutputWords = areaCode('W', 'Y'),
    RelayWords = areaCode('W', 'M'),
    StepWords = areaCode('W', 'S'),
    TimerContactWords = areaCode('W', 'T'),
    CounterContactWords = areaCode('W', 'C')
};

// The first of the area texts found anywhere in the label, case-insensitively.
Area area(const QString &label);

// acc followed by every ASCII digit of src, in order.
QString digits(const QString &src, const QString &acc);

// The label's digits as exactly four characters ("0100"), or a null text when
// there is no area, no digit or more than four digits.
QString number(const QString &label, Area area);

// Bytes of count elements of type; 0 for a type the PLC has no layout for.
int byteLength(DataType type, int count);

// The discrete input and output areas are read bit by bit, every other area by registers.
bool isBitArea(int area);

} // namespace LabelAddress

#endif // LABELADDRESS_H
