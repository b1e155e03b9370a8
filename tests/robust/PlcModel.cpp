// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PlcModel.h"

#include <QtCore/QFile>
#include <QtCore/QRandomGenerator>

#include <cstring>
#include <unistd.h>

namespace PlcModel {

namespace {

// Register i of the run that starts at the label's element: on a word area
// the 16 bits from start + 16 i.
quint16 registerAt(const SimMemory &memory, const PolledLabel &label, qint64 i)
{
    const int step = SimAreas::isWordArea(label.area) ? SimAreas::wordBits : 1;
    return memory.value(label.area, int(label.start + step * i));
}

// The value's own bytes as an unsigned number: two's complement for the
// signed integers, IEEE 754 for float and double, 0 or 1 for a flag.
template <typename T>
quint64 patternOf(T value)
{
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "the low bytes of the pattern come first");
    quint64 pattern = 0;
    std::memcpy(&pattern, &value, sizeof value);
    return pattern;
}

template <typename T>
bool listMatches(const CLabelVariable &record, const SimMemory &memory, const PolledLabel &label,
                 QString *why)
{
    if (record.value.userType() != qMetaTypeId<QList<T>>()) {
        if (why)
            *why = QStringLiteral("value holds %1").arg(record.value.typeName());
        return false;
    }
    const QList<T> list = record.value.value<QList<T>>();
    if (list.size() != label.count) {
        if (why)
            *why = QStringLiteral("%1 values, %2 asked for").arg(list.size()).arg(label.count);
        return false;
    }
    for (int k = 0; k < list.size(); ++k) {
        const quint64 want = expectedPattern(memory, label, k);
        if (patternOf(list.at(k)) != want) {
            if (why)
                *why = QStringLiteral("value %1 is %2, the PLC holds %3")
                           .arg(k)
                           .arg(patternOf(list.at(k)), 0, 16)
                           .arg(want, 0, 16);
            return false;
        }
    }
    return true;
}

} // namespace

int valueBits(DataType type)
{
    switch (type) {
    case DT_Bool:
        return 1;
    case DT_Int8:
    case DT_UInt8:
        return 8;
    case DT_Int16:
    case DT_UInt16:
        return 16;
    case DT_Int32:
    case DT_UInt32:
    case DT_Float:
        return 32;
    case DT_Int64:
    case DT_UInt64:
    case DT_Double:
        return 64;
    default:
        return 0;
    }
}

quint64 expectedPattern(const SimMemory &memory, const PolledLabel &label, int k)
{
    const int bits = valueBits(label.type);
    quint64 pattern = 0;
    if (SimAreas::isBitArea(label.area)) {
        for (int j = 0; j < bits; ++j) {
            if (memory.bit(label.area, label.start + k * bits + j))
                pattern |= quint64(1) << j;
        }
        return pattern;
    }
    switch (bits) {
    case 1:
        return (registerAt(memory, label, k / 16) >> (k % 16)) & 1;
    case 8:
        return (registerAt(memory, label, k / 2) >> (k % 2 == 0 ? 8 : 0)) & 0xFF;
    default:
        for (int word = 0; word < bits / 16; ++word)
            pattern |= quint64(registerAt(memory, label, qint64(k) * (bits / 16) + word)) << (16 * word);
        return pattern;
    }
}

bool matches(const CLabelVariable &record, const SimMemory &memory, const PolledLabel &label,
             QString *why)
{
    switch (label.type) {
    case DT_Bool: return listMatches<bool>(record, memory, label, why);
    case DT_Int8: return listMatches<char>(record, memory, label, why);
    case DT_UInt8: return listMatches<unsigned char>(record, memory, label, why);
    case DT_Int16: return listMatches<short>(record, memory, label, why);
    case DT_UInt16: return listMatches<unsigned short>(record, memory, label, why);
    case DT_Int32: return listMatches<int>(record, memory, label, why);
    case DT_UInt32: return listMatches<unsigned int>(record, memory, label, why);
    case DT_Float: return listMatches<float>(record, memory, label, why);
    case DT_Int64: return listMatches<qint64>(record, memory, label, why);
    case DT_UInt64: return listMatches<quint64>(record, memory, label, why);
    case DT_Double: return listMatches<double>(record, memory, label, why);
    default:
        if (why)
            *why = QStringLiteral("type %1 is not read").arg(int(label.type));
        return false;
    }
}

quint16 distinctValue(int index, quint32 seed)
{
    // Every step maps the 65536 values one to one: an xor, products with
    // odd numbers, a sum and xor-shifts.
    quint16 x = quint16(index) ^ quint16(seed);
    x = quint16(x * 0x9E3Bu);
    x ^= x >> 7;
    x = quint16(x * 0x2C1Bu + (seed >> 16));
    x ^= x >> 9;
    return x;
}

void fillMemory(SimMemory &memory, quint32 seed)
{
    int index = 0;
    for (const SimArea area : { SimArea::D, SimArea::R, SimArea::RT, SimArea::RC }) {
        for (int n = 0; n < filledRegisters / 4; ++n)
            memory.setValue(area, n, distinctValue(index++, seed));
    }
    QRandomGenerator random(seed);
    for (const SimArea area : { SimArea::X, SimArea::Y, SimArea::M, SimArea::S }) {
        for (int n = 0; n < 2000; ++n)
            memory.setBit(area, n, random.bounded(2) == 1);
    }
}

} // namespace PlcModel

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    if (fields.size() < 2)
        return 0;
    return fields.at(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

int envNumber(const char *name, int defaultValue)
{
    bool ok = false;
    const int value = qEnvironmentVariableIntValue(name, &ok);
    return ok ? value : defaultValue;
}
