// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMTYPED_H
#define SIMTYPED_H

#include "simmemory.h"

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVector>

// Typed values in the PLC's memory, laid out as the driver reads them:
//
//   registers      a value wider than 16 bits takes consecutive registers,
//                  the lowest one holding its least significant 16 bits;
//                  two 8-bit values share a register, the first in its
//                  high byte; bools are the bits of registers, bit 0 first.
//   X, Y           read bit by bit: a value of w bits is w consecutive bits,
//                  the lowest address its least significant bit.
//   M, S, T, C     bools are the bits; wider values are read as the words
//                  over the bits (the word at n holds bits n..n+15) and laid
//                  out in those words as in registers.
//
// Values travel as bit patterns: two's complement, IEEE 754.
namespace SimTypes {

SimType fromName(const QString &name, bool *ok);   // any case
QString name(SimType type);
QStringList names();
int bits(SimType type);
bool isFloat(SimType type);
bool isSigned(SimType type);

// True when `count` values from `start` lie inside the area.
bool fits(SimArea area, int start, SimType type, int count);

// The storage `count` values from `start` take: registers of a register
// area or bits of a bit area, elements first..last (word areas given as
// the bits under them). Two values share storage when their spans meet.
struct Span {
    SimArea area = SimArea::None;
    int first = 0;
    int last = -1;

    bool meets(const Span &other) const
    {
        return area == other.area && first <= other.last && other.first <= last;
    }
};
Span span(SimArea area, int start, SimType type, int count);

QVector<quint64> read(const SimMemory &memory, SimArea area, int start, SimType type, int count);
void write(SimMemory *memory, SimArea area, int start, SimType type, const QVector<quint64> &patterns);

// A value as the command line writes it (protocol/ValueGrammar.h), blanks
// around it aside. False with `error` set when it is no value of the type.
bool parse(SimType type, const QString &text, quint64 *pattern, QString *error);

// A whole number (or for a float type any number) as the type's pattern;
// false with `error` set when it is out of the type's range. The error
// quotes `written`, the number as the caller wrote it, when given.
bool fromNumber(SimType type, double number, quint64 *pattern, QString *error,
                const QString &written = QString());

// The value as a double; exact up to 2^53.
double toDouble(SimType type, quint64 pattern);
// The value as text: decimal, or the shortest exact floating point text.
QString text(SimType type, quint64 pattern);

} // namespace SimTypes

#endif
