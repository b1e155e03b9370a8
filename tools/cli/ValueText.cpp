// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ValueText.h"

#include "elementtype_p.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonValue>
#include <QtCore/QList>
#include <QtCore/QLocale>
#include <QtCore/QRegularExpression>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace {

// A record holds its elements as Stored; the user means them as Logical.
// They differ only for int8: plain char is unsigned on the target, so an
// int8 element travels as char but stands for a signed byte.
template<typename S, typename L = S>
struct Element {
    using Stored = S;
    using Logical = L;
};

// Calls f with the Element of a type the PLC stores, from the library's
// type table (a header of templates: the tool still links no library code);
// false for any other type.
template<typename F>
bool withElement(DataType type, F &&f)
{
    return ElementType::visitStored(type, [&](auto tag) {
        using Stored = typename decltype(tag)::Type;
        using Logical = std::conditional_t<std::is_same<Stored, char>::value, signed char, Stored>;
        f(Element<Stored, Logical>());
    });
}

// Calls each(element) with every element, as Logical, when the value holds
// the type's list; answers whether it does.
template<typename Each>
bool forEachHeld(DataType type, const QVariant &value, Each &&each)
{
    bool held = false;
    withElement(type, [&](auto element) {
        using Stored = typename decltype(element)::Stored;
        using Logical = typename decltype(element)::Logical;
        if (value.userType() != qMetaTypeId<QList<Stored>>())
            return;
        held = true;
        const QList<Stored> list = value.value<QList<Stored>>();
        for (const Stored stored : list)
            each(static_cast<Logical>(stored));
    });
    return held;
}

struct NamedType {
    DataType type;
    const char *name;
};

const NamedType namedTypes[] = {
    {DT_Bool, "bool"},     {DT_Int8, "int8"},     {DT_UInt8, "uint8"},   {DT_Int16, "int16"},
    {DT_UInt16, "uint16"}, {DT_Int32, "int32"},   {DT_UInt32, "uint32"}, {DT_Float, "float"},
    {DT_Int64, "int64"},   {DT_UInt64, "uint64"}, {DT_Double, "double"},
};

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

bool isHex(const QString &text)
{
    return text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive);
}

bool isSignedHex(const QString &text)
{
    return (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+')))
           && isHex(text.mid(1));
}

// A hex text as a bit pattern of `bits` bits.
QString parseHexPattern(const QString &text, int bits, const QString &type, quint64 *pattern)
{
    static const QRegularExpression hexDigits(QStringLiteral("^[0-9A-Fa-f]+$"));
    const QString digits = text.mid(2);
    if (!hexDigits.match(digits).hasMatch())
        return QStringLiteral("%1 is not a hex number").arg(quoted(text));
    const quint64 max = bits == 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok, 16);
    if (!ok || value > max) {
        return QStringLiteral("%1 does not fit in %2 (hex up to 0x%3)")
            .arg(quoted(text), type, QString::number(max, 16).toUpper());
    }
    *pattern = value;
    return QString();
}

// Decimal or exponent notation, nothing around it.
bool isFloatText(const QString &text)
{
    static const QRegularExpression decimal(
        QStringLiteral("^[+-]?([0-9]+\\.?[0-9]*|\\.[0-9]+)([eE][+-]?[0-9]+)?$"));
    return decimal.match(text).hasMatch();
}

// The smallest magnitude that no longer rounds to a finite F: the largest
// finite value plus half a unit in its last place.
template<typename F>
double roundsToInfinity()
{
    if (std::is_same<F, float>::value)
        return 0x1.ffffffp127;
    return std::numeric_limits<double>::infinity();
}

QString notWhole(const QString &text, const QString &type)
{
    return QStringLiteral("%1 is not a whole number, as %2 needs").arg(quoted(text), type);
}

QString notNumber(const QString &text)
{
    return QStringLiteral("%1 is not a number").arg(quoted(text));
}

QString hexWithSign(const QString &text)
{
    return QStringLiteral("%1: hex gives the bit pattern and takes no sign").arg(quoted(text));
}

template<typename L>
QString outOfRange(const QString &text, const QString &type)
{
    using Wide = std::conditional_t<std::is_signed<L>::value, qlonglong, qulonglong>;
    return QStringLiteral("%1 is out of range for %2 (%3 to %4)")
        .arg(quoted(text), type, QString::number(static_cast<Wide>(std::numeric_limits<L>::min())),
             QString::number(static_cast<Wide>(std::numeric_limits<L>::max())));
}

template<typename L>
QString parseInteger(const QString &text, const QString &type, L *out)
{
    using Unsigned = std::make_unsigned_t<L>;
    if (isHex(text)) {
        quint64 pattern = 0;
        const QString error = parseHexPattern(text, 8 * sizeof(L), type, &pattern);
        if (error.isEmpty())
            *out = static_cast<L>(static_cast<Unsigned>(pattern));
        return error;
    }
    if (isSignedHex(text))
        return hexWithSign(text);

    static const QRegularExpression decimal(QStringLiteral("^[+-]?[0-9]+$"));
    if (!decimal.match(text).hasMatch())
        return isFloatText(text) ? notWhole(text, type) : notNumber(text);

    bool ok = false;
    if (std::is_signed<L>::value || text.startsWith(QLatin1Char('-'))) {
        const qlonglong value = text.toLongLong(&ok, 10);
        if (!ok || value < static_cast<qlonglong>(std::numeric_limits<L>::min())
            || (value > 0 && static_cast<qulonglong>(value) > std::numeric_limits<L>::max())) {
            return outOfRange<L>(text, type);
        }
        *out = static_cast<L>(value);
        return QString();
    }
    const qulonglong value = text.toULongLong(&ok, 10);
    if (!ok || value > std::numeric_limits<L>::max())
        return outOfRange<L>(text, type);
    *out = static_cast<L>(value);
    return QString();
}

template<typename F>
QString parseFloating(const QString &text, const QString &type, F *out)
{
    using Pattern = std::conditional_t<sizeof(F) == 4, quint32, quint64>;
    if (isHex(text)) {
        quint64 pattern = 0;
        const QString error = parseHexPattern(text, 8 * sizeof(F), type, &pattern);
        if (error.isEmpty()) {
            const Pattern bits = static_cast<Pattern>(pattern);
            std::memcpy(out, &bits, sizeof(F));
        }
        return error;
    }
    if (isSignedHex(text))
        return hexWithSign(text);

    static const QRegularExpression special(QStringLiteral("^([+-]?)(nan|inf|infinity)$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch word = special.match(text);
    if (word.hasMatch()) {
        const bool negative = word.captured(1) == QLatin1String("-");
        if (word.captured(2).compare(QLatin1String("nan"), Qt::CaseInsensitive) == 0)
            *out = std::numeric_limits<F>::quiet_NaN();
        else
            *out = negative ? -std::numeric_limits<F>::infinity()
                            : std::numeric_limits<F>::infinity();
        return QString();
    }

    if (!isFloatText(text))
        return notNumber(text);
    bool ok = false;
    const double value = QLocale::c().toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) >= roundsToInfinity<F>()) {
        return QStringLiteral("%1 is out of range for %2 (largest magnitude about %3)")
            .arg(quoted(text), type,
                 QString::number(static_cast<double>(std::numeric_limits<F>::max()), 'g', 3));
    }
    *out = static_cast<F>(value);
    return QString();
}

QString parseBool(const QString &text, bool *out)
{
    const QString word = text.toLower();
    if (word == QLatin1String("1") || word == QLatin1String("true") || word == QLatin1String("on")) {
        *out = true;
        return QString();
    }
    if (word == QLatin1String("0") || word == QLatin1String("false")
        || word == QLatin1String("off")) {
        *out = false;
        return QString();
    }
    return QStringLiteral("%1 is not a bit value (0, 1, true, false, on, off)").arg(quoted(text));
}

template<typename L>
QString parseOne(const QString &text, const QString &type, L *out)
{
    if constexpr (std::is_same<L, bool>::value)
        return parseBool(text, out);
    else if constexpr (std::is_floating_point<L>::value)
        return parseFloating(text, type, out);
    else
        return parseInteger(text, type, out);
}

// The double a value stands for: a float as its shortest decimal (0.1f as
// 0.1, not 0.10000000149011612), read back as parseValues reads a float.
double decimalValue(double value)
{
    return value;
}

double decimalValue(float value)
{
    if (!std::isfinite(value))
        return static_cast<double>(value);
    for (int precision = 1;; ++precision) {
        const QString text = QString::number(static_cast<double>(value), 'g', precision);
        if (precision >= 9 || static_cast<float>(QLocale::c().toDouble(text)) == value)
            return QLocale::c().toDouble(text);
    }
}

// The shortest text that reads back as the same value, written as the JSON
// output writes the number, so that a value reads the same in the table,
// the CSV and the JSON: whole numbers plain (-2000, not -2e+03), others in
// their shortest form (1234.5677), an exponent only for the very large and
// the very small (1e+20, 1.5e-05). JSON has no nan or inf: those as words.
template<typename F>
QString shortest(F value)
{
    const double decimal = decimalValue(value);
    if (!std::isfinite(decimal))
        return QString::number(decimal, 'g', QLocale::FloatingPointShortest);
    const QByteArray array = QJsonDocument(QJsonArray{decimal}).toJson(QJsonDocument::Compact);
    return QString::fromLatin1(array.mid(1, array.size() - 2)); // inside the brackets
}

// The value's bit pattern, as parseValues reads hex: 0xFFFB for int16 -5,
// 0x40500000 for float 3.25.
template<typename L>
QString hexOne(L value)
{
    using Bits = std::conditional_t<sizeof(L) == 1, quint8,
                 std::conditional_t<sizeof(L) == 2, quint16,
                 std::conditional_t<sizeof(L) == 4, quint32, quint64>>>;
    Bits bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return QStringLiteral("0x")
           + QString::number(qulonglong(bits), 16).toUpper().rightJustified(int(2 * sizeof bits), QLatin1Char('0'));
}

template<typename L>
QString formatOne(L value, ValueText::Style style)
{
    if constexpr (std::is_same<L, bool>::value) {
        return value ? QStringLiteral("1") : QStringLiteral("0");
    } else if (style == ValueText::Style::Hex) {
        return hexOne(value);
    } else if constexpr (std::is_floating_point<L>::value) {
        return shortest(value);
    } else if constexpr (std::is_signed<L>::value) {
        return QString::number(static_cast<qlonglong>(value));
    } else {
        return QString::number(static_cast<qulonglong>(value));
    }
}

template<typename L>
QJsonValue jsonOne(L value)
{
    // Beyond 2^53 a double, as JSON numbers are read, no longer holds every integer.
    const double exactLimit = 9007199254740992.0;
    if constexpr (std::is_same<L, bool>::value) {
        return value;
    } else if constexpr (std::is_floating_point<L>::value) {
        if (!std::isfinite(value))
            return shortest(value);
        return decimalValue(value);
    } else {
        const double wide = static_cast<double>(value);
        if (std::fabs(wide) >= exactLimit)
            return formatOne(value, ValueText::Style::Plain);
        return wide;
    }
}

} // namespace

namespace ValueText {

DataType typeFromName(const QString &name)
{
    for (const NamedType &named : namedTypes) {
        if (name.compare(QLatin1String(named.name), Qt::CaseInsensitive) == 0)
            return named.type;
    }
    return DT_None;
}

QString typeName(DataType type)
{
    for (const NamedType &named : namedTypes) {
        if (named.type == type)
            return QLatin1String(named.name);
    }
    return QStringLiteral("type %1").arg(int(type));
}

QStringList typeNames()
{
    QStringList names;
    for (const NamedType &named : namedTypes)
        names << QLatin1String(named.name);
    return names;
}

QString parseValues(DataType type, const QStringList &texts, QVariant *list)
{
    QString error;
    const bool known = withElement(type, [&](auto element) {
        using Stored = typename decltype(element)::Stored;
        using Logical = typename decltype(element)::Logical;
        QList<Stored> values;
        for (const QString &text : texts) {
            Logical value{};
            error = parseOne(text, typeName(type), &value);
            if (!error.isEmpty())
                return;
            values.append(static_cast<Stored>(value));
        }
        *list = QVariant::fromValue(values);
    });
    if (!known)
        return QStringLiteral("%1 cannot be given values").arg(typeName(type));
    return error;
}

bool formatValues(DataType type, const QVariant &value, Style style, QStringList *texts)
{
    QStringList formatted;
    if (!forEachHeld(type, value, [&](auto element) { formatted.append(formatOne(element, style)); }))
        return false;
    *texts = formatted;
    return true;
}

QVariant valueAt(DataType type, const QVariant &value, int index)
{
    QVariant one;
    withElement(type, [&](auto element) {
        using Stored = typename decltype(element)::Stored;
        if (value.userType() != qMetaTypeId<QList<Stored>>())
            return;
        const QList<Stored> list = value.value<QList<Stored>>();
        if (index >= 0 && index < list.size())
            one = QVariant::fromValue(QList<Stored>{list.at(index)});
    });
    return one;
}

int widestText(DataType type, Style style)
{
    int width = 1;
    withElement(type, [&](auto element) {
        using Logical = typename decltype(element)::Logical;
        if constexpr (std::is_same<Logical, bool>::value)
            width = 1;
        else if (style == Style::Hex)
            width = 2 + 2 * int(sizeof(Logical));
        else if constexpr (std::is_same<Logical, float>::value)
            width = 14; // -1.1754944e-38
        else if constexpr (std::is_same<Logical, double>::value)
            width = 23; // -2.2250738585072014e-308
        else
            width = qMax(formatOne(std::numeric_limits<Logical>::min(), style).size(),
                         formatOne(std::numeric_limits<Logical>::max(), style).size());
    });
    return width;
}

int registersPerValue(DataType type, int *valuesPerRegister)
{
    int bits = 0;
    ElementType::visitStored(type, [&](auto tag) { bits = decltype(tag)::bits; });
    *valuesPerRegister = bits > 0 && bits < 16 ? 16 / bits : 1;
    return bits >= 16 ? bits / 16 : 0;
}

bool jsonValues(DataType type, const QVariant &value, QJsonArray *values)
{
    QJsonArray json;
    if (!forEachHeld(type, value, [&](auto element) { json.append(jsonOne(element)); }))
        return false;
    *values = json;
    return true;
}

} // namespace ValueText
