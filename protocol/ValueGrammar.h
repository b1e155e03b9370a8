// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_VALUEGRAMMAR_H
#define NORVO_PROTOCOL_VALUEGRAMMAR_H

#include "ValueTypes.h"

#include <QtCore/QLocale>
#include <QtCore/QRegularExpression>
#include <QtCore/QString>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

// One value of a type as a text, the one way norvo and norvo-sim read it:
//   integers  decimal with an optional sign (+5, -007), or hex ("0x...")
//             as the raw bit pattern of the type's width: 0xFFFB is -5 as
//             int16; hex takes no sign
//   floats    decimal or exponent notation, nan, inf and infinity with an
//             optional sign, or hex as the IEEE bit pattern
//   bool      0, 1, true, false, on, off, any case
// Nothing around the value: no blanks.
namespace ValueGrammar {

namespace detail {

inline QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

inline quint64 mask(int bits)
{
    return bits >= 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
}

} // namespace detail

// Why `text` is out of the range of a type, quoting it: "\"300\" is out of
// range for int8 (-128 to 127)".
inline QString outOfRange(const QString &text, ValueTypes::Type type)
{
    const ValueTypes::Info &info = ValueTypes::info(type);
    const QString quoted = detail::quoted(text);
    if (info.isFloat) {
        const double largest = info.bits == 32 ? double(std::numeric_limits<float>::max())
                                               : std::numeric_limits<double>::max();
        return QStringLiteral("%1 is out of range for %2 (largest magnitude about %3)")
            .arg(quoted, ValueTypes::name(type), QString::number(largest, 'g', 3));
    }
    const quint64 span = detail::mask(info.isSigned ? info.bits - 1 : info.bits);
    const QString lowest = info.isSigned ? QStringLiteral("-") + QString::number(span + 1)
                                         : QStringLiteral("0");
    return QStringLiteral("%1 is out of range for %2 (%3 to %4)")
        .arg(quoted, ValueTypes::name(type), lowest, QString::number(span));
}

namespace detail {

inline bool isHex(const QString &text)
{
    return text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
}

inline bool isSignedHex(const QString &text)
{
    return (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
           && isHex(text.mid(1));
}

inline QString parseHexPattern(const QString &text, ValueTypes::Type type, quint64 *pattern)
{
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]+$"));
    const QString digits = text.mid(2);
    if (!hexDigits.match(digits).hasMatch())
        return QStringLiteral("%1 is not a hex number").arg(quoted(text));
    const quint64 max = mask(ValueTypes::info(type).bits);
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok, 16);
    if (!ok || value > max) {
        return QStringLiteral("%1 does not fit in %2 (hex up to 0x%3)")
            .arg(quoted(text), ValueTypes::name(type), QString::number(max, 16).toUpper());
    }
    *pattern = value;
    return QString();
}

// Decimal or exponent notation, nothing around it.
inline bool isFloatText(const QString &text)
{
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    return decimal.match(text).hasMatch();
}

inline QString notNumber(const QString &text)
{
    return QStringLiteral("%1 is not a number").arg(quoted(text));
}

template<typename L>
QString parseInteger(const QString &text, ValueTypes::Type type, L *out)
{
    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch()) {
        return isFloatText(text) ? QStringLiteral("%1 is not a whole number, as %2 needs")
                                       .arg(quoted(text), ValueTypes::name(type))
                                 : notNumber(text);
    }
    bool ok = false;
    if (std::is_signed<L>::value || text.startsWith(QLatin1Char('-'))) {
        const qlonglong value = text.toLongLong(&ok, 10);
        if (!ok || value < static_cast<qlonglong>(std::numeric_limits<L>::min())
            || (value > 0 && static_cast<qulonglong>(value) > std::numeric_limits<L>::max()))
            return outOfRange(text, type);
        *out = static_cast<L>(value);
        return QString();
    }
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > std::numeric_limits<L>::max())
        return outOfRange(text, type);
    *out = static_cast<L>(value);
    return QString();
}

template<typename F>
QString parseFloating(const QString &text, ValueTypes::Type type, F *out)
{
    static const QRegularExpression special(QStringLiteral("^([+-]?)(nan|inf|infinity)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch word = special.match(text);
    if (word.hasMatch()) {
        const bool negative = word.captured(1) == QLatin1String("-");
        if (word.captured(2).compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0)
            *out = std::numeric_limits<F>::quiet_NaN();
        else
            *out = negative ? -std::numeric_limits<F>::infinity() : std::numeric_limits<F>::infinity();
        return QString();
    }
    if (!isFloatText(text))
        return notNumber(text);
    // The smallest magnitude that no longer rounds to a finite float: the
    // largest finite one plus half a unit in its last place.
    const double roundsToInfinity = std::is_same<F, float>::value
                                        ? 0x1.ffffffp127
                                        : std::numeric_limits<double>::infinity();
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) >= roundsToInfinity)
        return outOfRange(text, type);
    *out = static_cast<F>(value);
    return QString();
}

inline QString parseBool(const QString &text, bool *out)
{
    const QString word = text.toLower();
    if (word == QLatin1String("1") || word == QLatin1String("true") || word == QLatin1String("on")) {
        *out = true;
        return QString();
    }
    if (word == QLatin1String("0") || word == QLatin1String("false") || word == QLatin1String("off")) {
        *out = false;
        return QString();
    }
    return QStringLiteral("%1 is not a bit value (0, 1, true, false, on, off)").arg(quoted(text));
}

// The value's bits, as parse gives them.
template<typename L>
quint64 patternOf(L value)
{
    if constexpr (std::is_same<L, bool>::value) {
        return value ? 1 : 0;
    } else if constexpr (std::is_floating_point<L>::value) {
        std::conditional_t<sizeof(L) == 4, quint32, quint64> bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    } else {
        return static_cast<std::make_unsigned_t<L>>(value);
    }
}

template<typename L>
QString parseAs(const QString &text, ValueTypes::Type type, quint64 *pattern)
{
    L value{};
    QString error;
    if constexpr (std::is_same<L, bool>::value)
        error = parseBool(text, &value);
    else if constexpr (std::is_floating_point<L>::value)
        error = parseFloating(text, type, &value);
    else
        error = parseInteger(text, type, &value);
    if (error.isEmpty())
        *pattern = patternOf(value);
    return error;
}

} // namespace detail

// Reads one value of `type`: its bit pattern (two's complement or IEEE 754
// in the type's width, 0 or 1 for bool) into *pattern. Returns why the text
// was refused, or an empty text.
inline QString parse(ValueTypes::Type type, const QString &text, quint64 *pattern)
{
    using ValueTypes::Type;
    if (type != Type::Bool && detail::isHex(text))
        return detail::parseHexPattern(text, type, pattern);
    if (type != Type::Bool && detail::isSignedHex(text))
        return QStringLiteral("%1: hex gives the bit pattern and takes no sign").arg(detail::quoted(text));
    switch (type) {
    case Type::Bool: return detail::parseAs<bool>(text, type, pattern);
    case Type::Int8: return detail::parseAs<qint8>(text, type, pattern);
    case Type::UInt8: return detail::parseAs<quint8>(text, type, pattern);
    case Type::Int16: return detail::parseAs<qint16>(text, type, pattern);
    case Type::UInt16: return detail::parseAs<quint16>(text, type, pattern);
    case Type::Int32: return detail::parseAs<qint32>(text, type, pattern);
    case Type::UInt32: return detail::parseAs<quint32>(text, type, pattern);
    case Type::Float: return detail::parseAs<float>(text, type, pattern);
    case Type::Int64: return detail::parseAs<qint64>(text, type, pattern);
    case Type::UInt64: return detail::parseAs<quint64>(text, type, pattern);
    case Type::Double: return detail::parseAs<double>(text, type, pattern);
    }
    return QString();
}

} // namespace ValueGrammar

#endif
