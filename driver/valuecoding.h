// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef VALUECODING_H
#define VALUECODING_H

#include "DataType.h"

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QVariant>

#include <cstring>
#include <type_traits>

// Typed values <-> nibble bytes, the form in which register data travels
// between the driver and the link: one byte per hex digit (0..15), four per
// 16-bit register, registers in address order, each register's most
// significant digit first. A value wider than one register takes the lowest
// register as its least significant 16 bits. Pure code: the driver's
// decoders and encoders (set_variant_*, Wset_variant_*) forward here.
namespace ValueCoding {

// Bits of one value of the type: 1 for DT_Bool, else 8, 16, 32 or 64; 0 for a
// type that the PLC has no layout for (DT_None, DT_QString, the variants).
int valueBits(DataType type);
// Values of the type can be written: the PLC stores them whole in
// registers. Flags and the types without a layout cannot.
bool writable(DataType type);

// n values of the type from data already in the decoders' form: nibble
// bytes, or one byte per bit for DT_Bool. QList<bool> for DT_Bool, QList<T>
// of the type's element otherwise; an invalid QVariant for a type the PLC
// has no layout for.
QVariant decodeList(DataType type, const QByteArray &data, int n);

// Where each nibble of one value travels, as its shift within the value's
// bit pattern, in sending order. Writing reads the nibbles out at these
// shifts and reading puts them back at the same shifts, so the two are each
// other's inverse by construction.
struct NibbleOrder
{
    const int *shifts;
    int size;
};
//            register 0      register 1      register 2      register 3
// 8 bits:    4 0 (one byte, high nibble first)
// 16 bits:   12 8 4 0
// 32 bits:   12 8 4 0        28 24 20 16
// 64 bits:   12 8 4 0        28 24 20 16     44 40 36 32     60 56 52 48
NibbleOrder nibbleOrder(int bits);

// The bit pattern of the value of `bits` bits whose nibbles start at offset.
// Nibbles past the end of the data count as 0; only the low 4 bits of a byte count.
quint64 readPattern(const QByteArray &nibbles, qint64 offset, int bits);
// Appends the nibbles of the low `bits` bits of pattern.
void appendPattern(QByteArray *out, quint64 pattern, int bits);

// Element types as bit patterns: two's complement for the signed integers,
// IEEE 754 for float and double; nothing is range-checked or converted.
template <typename T>
quint64 toPattern(T value)
{
    if constexpr (std::is_floating_point_v<T>) {
        std::conditional_t<sizeof(T) == 4, quint32, quint64> bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    } else {
        return quint64(std::make_unsigned_t<T>(value));
    }
}

template <typename T>
T fromPattern(quint64 pattern)
{
    if constexpr (std::is_floating_point_v<T>) {
        const std::conditional_t<sizeof(T) == 4, quint32, quint64> bits = pattern;
        T value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    } else {
        return T(std::make_unsigned_t<T>(pattern));
    }
}

// n values from nibble bytes (nibbles past the end count as 0). n <= 0 gives an empty list.
template <typename T>
QList<T> decode(const QByteArray &nibbles, int n)
{
    constexpr int bits = int(sizeof(T)) * 8;
    QList<T> values;
    if (n > 0)
        values.reserve(n);
    for (qint64 k = 0; k < n; ++k)
        values.append(fromPattern<T>(readPattern(nibbles, k * (bits / 4), bits)));
    return values;
}

// The nibble bytes of the first count values (count must not exceed the list).
template <typename T>
QByteArray encode(const QList<T> &values, int count)
{
    constexpr int bits = int(sizeof(T)) * 8;
    QByteArray nibbles;
    if (count > 0)
        nibbles.reserve(count * (bits / 4));
    for (int k = 0; k < count; ++k)
        appendPattern(&nibbles, toPattern(values.at(k)), bits);
    return nibbles;
}

// n flags from bit bytes, one byte per bit, set when the byte is not 0
// (bytes past the end count as 0).
QList<bool> decodeBits(const QByteArray &bits, int n);

// Bit bytes (lowest bit address first) packed into groups of 8 or 16 bits,
// each group written as the nibbles of the value whose bit j is the group's
// j-th bit: bit data in the form a register read delivers it. Bits past the
// end count as 0.
QByteArray packBits(const QByteArray &bits, int groupBits, int groups);
// The inverse: groups of 8 or 16 bits from nibble bytes to one byte per bit.
QByteArray unpackBits(const QByteArray &nibbles, int groupBits, int groups);

// The data of a read's answer (one byte per bit from a bit read of `units`
// bits, nibble bytes from a register read of `units` registers) in the form
// the decoders take for count values of the type: nibble bytes for values,
// one byte per bit for flags. Every reader of the PLC's data goes through
// here, the driver and the hosts that cut merged reads apart alike.
QByteArray decoderForm(DataType type, bool bitRead, qint64 units, const QByteArray &data, int count);

// How a value record's list fared on its way to nibble bytes.
enum class EncodeResult {
    Encoded,
    NotConvertible, // the value does not hold (or convert to) the type's list
    TooFewElements, // the list is shorter than the count
    NotWritable     // the type cannot be written
};

// Appends the nibbles of the first count elements of the QList<T> that value
// holds or converts to; appends nothing unless the result is Encoded.
template <typename T>
EncodeResult encodeVariant(const QVariant &value, int count, QByteArray *out)
{
    if (!value.canConvert(qMetaTypeId<QList<T>>()))
        return EncodeResult::NotConvertible;
    const QList<T> list = qvariant_cast<QList<T>>(value);
    if (list.size() < count)
        return EncodeResult::TooFewElements;
    out->append(encode(list, count));
    return EncodeResult::Encoded;
}

// Appends the nibble bytes of the first count elements of the type's list
// that value holds or converts to; appends nothing unless the result is
// Encoded.
EncodeResult encodeWrite(DataType type, const QVariant &value, int count, QByteArray *out);

} // namespace ValueCoding

#endif // VALUECODING_H
