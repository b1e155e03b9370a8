// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simtyped.h"

#include "ValueGrammar.h"

#include <QtCore/QLocale>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

quint64 maskOf(int bits)
{
    return bits >= 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
}

// The driver reads these areas bit by bit, every other one by registers.
bool readsBits(SimArea area)
{
    return area == SimArea::X || area == SimArea::Y;
}

// Bools of an older word name are the bits under it.
SimArea bitsFirst(SimArea area, SimType type)
{
    return type == SimType::Bool && SimAreas::isWordArea(area) ? SimAreas::bitAreaOf(area) : area;
}

bool laidOutInBits(SimArea area, SimType type)
{
    return SimAreas::isBitArea(area) && (type == SimType::Bool || readsBits(area));
}

qint64 registersOf(SimType type, qint64 count)
{
    const int bits = SimTypes::bits(type);
    if (bits == 1)
        return (count + 15) / 16;
    if (bits == 8)
        return (count + 1) / 2;
    return bits / 16 * count;
}

// Register i of a run from `start`: a register, or the word over 16 bits.
struct Unit {
    SimArea area;
    int element;
};

Unit unitAt(SimArea area, int start, qint64 i)
{
    if (SimAreas::isBitArea(area))
        return {SimAreas::wordAreaOf(area), int(start + 16 * i)};
    if (SimAreas::isWordArea(area))
        return {area, int(start + 16 * i)};
    return {area, int(start + i)};
}

quint16 registerAt(const SimMemory &memory, SimArea area, int start, qint64 i)
{
    const Unit unit = unitAt(area, start, i);
    return memory.value(unit.area, unit.element);
}

void setRegisterAt(SimMemory *memory, SimArea area, int start, qint64 i, quint16 value)
{
    const Unit unit = unitAt(area, start, i);
    memory->setValue(unit.area, unit.element, value);
}

QString rangeError(SimType type, const QString &text)
{
    return ValueGrammar::outOfRange(text, type);
}

} // namespace

namespace SimTypes {

SimType fromName(const QString &name, bool *ok)
{
    SimType type = SimType::UInt16;
    *ok = ValueTypes::fromName(name, &type);
    return *ok ? type : SimType::UInt16;
}

QString name(SimType type)
{
    return ValueTypes::name(type);
}

QStringList names()
{
    return ValueTypes::names();
}

int bits(SimType type)
{
    return ValueTypes::info(type).bits;
}

bool isFloat(SimType type)
{
    return ValueTypes::info(type).isFloat;
}

bool isSigned(SimType type)
{
    return ValueTypes::info(type).isSigned;
}

bool fits(SimArea area, int start, SimType type, int count)
{
    area = bitsFirst(area, type);
    if (area == SimArea::None || count < 1 || start < 0 || start >= SimAreas::elementCount)
        return false;
    qint64 last;
    if (laidOutInBits(area, type))
        last = start + qint64(count) * bits(type) - 1;
    else if (SimAreas::isBitArea(area) || SimAreas::isWordArea(area))
        last = start + 16 * registersOf(type, count) - 1;
    else
        last = start + registersOf(type, count) - 1;
    return last < SimAreas::elementCount;
}

Span span(SimArea area, int start, SimType type, int count)
{
    Span result;
    if (!fits(area, start, type, count))
        return result;
    area = bitsFirst(area, type);
    result.first = start;
    if (SimAreas::isWordArea(area)) {
        area = SimAreas::bitAreaOf(area);
        result.last = start + 16 * int(registersOf(type, count)) - 1;
    } else if (laidOutInBits(area, type)) {
        result.last = start + count * bits(type) - 1;
    } else if (SimAreas::isBitArea(area)) {
        result.last = start + 16 * int(registersOf(type, count)) - 1;
    } else {
        result.last = start + int(registersOf(type, count)) - 1;
    }
    result.area = area;
    return result;
}

QVector<quint64> read(const SimMemory &memory, SimArea area, int start, SimType type, int count)
{
    area = bitsFirst(area, type);
    QVector<quint64> values;
    if (!fits(area, start, type, count))
        return values;
    const int width = bits(type);
    for (int k = 0; k < count; ++k) {
        quint64 pattern = 0;
        if (laidOutInBits(area, type)) {
            for (int j = 0; j < width; ++j) {
                if (memory.bit(area, start + k * width + j))
                    pattern |= quint64(1) << j;
            }
        } else if (width == 1) {
            pattern = (registerAt(memory, area, start, k / 16) >> (k % 16)) & 1u;
        } else if (width == 8) {
            const quint16 word = registerAt(memory, area, start, k / 2);
            pattern = k % 2 == 0 ? word >> 8 : word & 0xFFu;
        } else {
            const int words = width / 16;
            for (int j = 0; j < words; ++j)
                pattern |= quint64(registerAt(memory, area, start, qint64(k) * words + j)) << (16 * j);
        }
        values.append(pattern);
    }
    return values;
}

void write(SimMemory *memory, SimArea area, int start, SimType type, const QVector<quint64> &patterns)
{
    area = bitsFirst(area, type);
    if (!fits(area, start, type, patterns.size()))
        return;
    const int width = bits(type);
    for (int k = 0; k < patterns.size(); ++k) {
        const quint64 pattern = patterns.at(k) & maskOf(width);
        if (laidOutInBits(area, type)) {
            for (int j = 0; j < width; ++j)
                memory->setBit(area, start + k * width + j, (pattern >> j) & 1u);
        } else if (width == 1) {
            quint16 word = registerAt(*memory, area, start, k / 16);
            const quint16 bit = quint16(1u << (k % 16));
            word = pattern ? (word | bit) : (word & ~bit);
            setRegisterAt(memory, area, start, k / 16, word);
        } else if (width == 8) {
            const quint16 word = registerAt(*memory, area, start, k / 2);
            const quint16 changed = k % 2 == 0 ? quint16((word & 0x00FFu) | (pattern << 8))
                                               : quint16((word & 0xFF00u) | pattern);
            setRegisterAt(memory, area, start, k / 2, changed);
        } else {
            const int words = width / 16;
            for (int j = 0; j < words; ++j)
                setRegisterAt(memory, area, start, qint64(k) * words + j, quint16(pattern >> (16 * j)));
        }
    }
}

bool fromNumber(SimType type, double number, quint64 *pattern, QString *error, const QString &written)
{
    const QString shown = written.isEmpty() ? QString::number(number, 'g', QLocale::FloatingPointShortest) : written;
    if (type == SimType::Float) {
        if (std::isfinite(number) && std::fabs(number) > double(std::numeric_limits<float>::max())) {
            *error = rangeError(type, shown);
            return false;
        }
        const float value = float(number);
        quint32 bitsOfValue;
        std::memcpy(&bitsOfValue, &value, sizeof bitsOfValue);
        *pattern = bitsOfValue;
        return true;
    }
    if (type == SimType::Double) {
        std::memcpy(pattern, &number, sizeof number);
        return true;
    }
    if (!std::isfinite(number) || number != std::floor(number)) {
        *error = QStringLiteral("%1 takes whole numbers, not %2").arg(SimTypes::name(type), shown);
        return false;
    }
    const int width = bits(type);
    if (type == SimType::Bool) {
        if (number != 0 && number != 1) {
            *error = QStringLiteral("bool takes 0 or 1, not %1").arg(shown);
            return false;
        }
        *pattern = quint64(number);
        return true;
    }
    const double span = std::ldexp(1.0, isSigned(type) ? width - 1 : width);
    const double lowest = isSigned(type) ? -span : 0.0;
    if (number < lowest || number >= span) {
        *error = rangeError(type, shown);
        return false;
    }
    *pattern = (isSigned(type) ? quint64(qint64(number)) : quint64(number)) & maskOf(width);
    return true;
}

bool parse(SimType type, const QString &text, quint64 *pattern, QString *error)
{
    const QString refused = ValueGrammar::parse(type, text.trimmed(), pattern);
    if (!refused.isEmpty())
        *error = refused;
    return refused.isEmpty();
}

double toDouble(SimType type, quint64 pattern)
{
    const int width = bits(type);
    if (type == SimType::Float) {
        const quint32 bitsOfValue = quint32(pattern);
        float value;
        std::memcpy(&value, &bitsOfValue, sizeof value);
        return value;
    }
    if (type == SimType::Double) {
        double value;
        std::memcpy(&value, &pattern, sizeof value);
        return value;
    }
    pattern &= maskOf(width);
    if (isSigned(type) && width < 64 && (pattern >> (width - 1)) & 1u)
        return double(qint64(pattern | ~maskOf(width)));
    return isSigned(type) ? double(qint64(pattern)) : double(pattern);
}

QString text(SimType type, quint64 pattern)
{
    const int width = bits(type);
    if (isFloat(type)) {
        const double number = toDouble(type, pattern);
        if (std::isnan(number))
            return QStringLiteral("nan");
        if (std::isinf(number))
            return number < 0 ? QStringLiteral("-inf") : QStringLiteral("inf");
        // The shortest text that reads back to the same value.
        for (int digits = type == SimType::Float ? 6 : 15; digits <= 17; ++digits) {
            const QString shown = QString::number(number, 'g', digits);
            if (type == SimType::Float ? float(shown.toDouble()) == float(number) : shown.toDouble() == number)
                return shown;
        }
        return QString::number(number, 'g', 17);
    }
    pattern &= maskOf(width);
    if (isSigned(type)) {
        const qint64 number = width < 64 && (pattern >> (width - 1)) & 1u ? qint64(pattern | ~maskOf(width))
                                                                         : qint64(pattern);
        return QString::number(number);
    }
    return QString::number(pattern);
}

} // namespace SimTypes
