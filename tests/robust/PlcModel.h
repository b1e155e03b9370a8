// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_ROBUST_PLCMODEL_H
#define NORVO_ROBUST_PLCMODEL_H

#include "CLabelVariable.h"
#include "simmemory.h"

#include <QtCore/QString>

// A label the robustness tests poll, and what the PLC's memory says it must
// read as. The expectation is worked out from the PLC's side: registers
// follow one another lowest word first, a register's high byte is the
// first 8-bit value, bit k of a register run is bit k % 16 of register
// k / 16; on the bit areas values take their bits one after the other,
// lowest first. None of this uses the driver's own coding.
struct PolledLabel
{
    QString label;  // as the host writes it, e.g. "D100"
    SimArea area;   // where the PLC keeps it
    int start;
    DataType type;
    int count;
};

namespace PlcModel {

// Bits of one value; 0 for a type the driver does not read.
int valueBits(DataType type);

// The bit pattern value k of the label must have.
quint64 expectedPattern(const SimMemory &memory, const PolledLabel &label, int k);

// True when the record holds exactly count values of the type's list, each
// with the expected bit pattern. why says what differs.
bool matches(const CLabelVariable &record, const SimMemory &memory, const PolledLabel &label,
             QString *why = nullptr);

// The index-th of 65536 distinct 16-bit values for a seed: no two indexes
// share a value, yet the values look random (signs, float exponents, bytes).
quint16 distinctValue(int index, quint32 seed);

// Registers 0..999 of R, D, RT and RC take the distinct values of indexes
// 0..filledRegisters - 1, so no two registers hold the same value and an
// answer that belongs to another address never matches; the indexes from
// here on are free for values no filled register holds. The bit areas get
// random bits from the seed.
constexpr int filledRegisters = 4000;
void fillMemory(SimMemory &memory, quint32 seed);

} // namespace PlcModel

// The resident set of this process in bytes, from /proc; 0 if unknown.
qint64 residentBytes();

// Whether the build runs under AddressSanitizer (its quarantine makes the
// resident set grow by design, so growth says nothing there).
constexpr bool underAddressSanitizer()
{
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

// A number from the environment, or the default when unset or no number.
int envNumber(const char *name, int defaultValue);

#endif
