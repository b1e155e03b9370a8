// SPDX-License-Identifier: LGPL-2.1-or-later
#include "valuecoding.h"

#include "elementtype_p.h"

#include <iterator>

namespace ValueCoding {

namespace {

constexpr int order8[] = {4, 0};
constexpr int order16[] = {12, 8, 4, 0};
constexpr int order32[] = {12, 8, 4, 0, 28, 24, 20, 16};
constexpr int order64[] = {12, 8, 4, 0, 28, 24, 20, 16, 44, 40, 36, 32, 60, 56, 52, 48};

quint8 byteAt(const QByteArray &data, qint64 pos)
{
    return pos >= 0 && pos < data.size() ? quint8(data.at(int(pos))) : 0;
}

} // namespace

int valueBits(DataType type)
{
    int bits = 0;
    ElementType::visitStored(type, [&](auto tag) { bits = decltype(tag)::bits; });
    return bits;
}

bool writable(DataType type)
{
    return valueBits(type) >= 8;
}

NibbleOrder nibbleOrder(int bits)
{
    switch (bits) {
    case 8:
        return {order8, int(std::size(order8))};
    case 16:
        return {order16, int(std::size(order16))};
    case 32:
        return {order32, int(std::size(order32))};
    case 64:
        return {order64, int(std::size(order64))};
    default:
        return {nullptr, 0};
    }
}

quint64 readPattern(const QByteArray &nibbles, qint64 offset, int bits)
{
    const NibbleOrder order = nibbleOrder(bits);
    quint64 pattern = 0;
    for (int i = 0; i < order.size; ++i)
        pattern |= quint64(byteAt(nibbles, offset + i) & 0xF) << order.shifts[i];
    return pattern;
}

void appendPattern(QByteArray *out, quint64 pattern, int bits)
{
    const NibbleOrder order = nibbleOrder(bits);
    for (int i = 0; i < order.size; ++i)
        out->append(char((pattern >> order.shifts[i]) & 0xF));
}

QList<bool> decodeBits(const QByteArray &bits, int n)
{
    QList<bool> values;
    if (n > 0)
        values.reserve(n);
    for (int k = 0; k < n; ++k)
        values.append(byteAt(bits, k) != 0);
    return values;
}

QByteArray packBits(const QByteArray &bits, int groupBits, int groups)
{
    QByteArray nibbles;
    for (qint64 g = 0; g < groups; ++g) {
        quint64 group = 0;
        for (int j = 0; j < groupBits; ++j) {
            if (byteAt(bits, g * groupBits + j) != 0)
                group |= quint64(1) << j;
        }
        appendPattern(&nibbles, group, groupBits);
    }
    return nibbles;
}

QByteArray unpackBits(const QByteArray &nibbles, int groupBits, int groups)
{
    QByteArray bits;
    for (qint64 g = 0; g < groups; ++g) {
        const quint64 group = readPattern(nibbles, g * (groupBits / 4), groupBits);
        for (int j = 0; j < groupBits; ++j)
            bits.append(char((group >> j) & 1));
    }
    return bits;
}

QByteArray decoderForm(DataType type, bool bitRead, qint64 units, const QByteArray &data, int count)
{
    const int bits = valueBits(type);
    if (bitRead && bits == 8)
        return packBits(data, 8, count);
    if (bitRead && bits > 8)
        return packBits(data, 16, int(units / 16));
    if (!bitRead && bits == 1)
        return unpackBits(data, 16, int(units));
    return data;
}

QVariant decodeList(DataType type, const QByteArray &data, int n)
{
    QVariant list;
    ElementType::visitStored(type, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        if constexpr (std::is_same<T, bool>::value)
            list = QVariant::fromValue(decodeBits(data, n));
        else
            list = QVariant::fromValue(decode<T>(data, n));
    });
    return list;
}

EncodeResult encodeWrite(DataType type, const QVariant &value, int count, QByteArray *out)
{
    EncodeResult result = EncodeResult::NotWritable;
    ElementType::visitStored(type, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        if constexpr (!std::is_same<T, bool>::value)
            result = encodeVariant<T>(value, count, out);
    });
    return result;
}

} // namespace ValueCoding
