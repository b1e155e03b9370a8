// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ValueText.h"

#include "JsonNumbers.h"
#include "ValueGrammar.h"
#include "elementtype_p.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonValue>
#include <QtCore/QList>
#include <QtCore/QLocale>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>
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
    ValueTypes::Type named;
};

const NamedType namedTypes[] = {
    {DT_Bool, ValueTypes::Type::Bool},     {DT_Int8, ValueTypes::Type::Int8},
    {DT_UInt8, ValueTypes::Type::UInt8},   {DT_Int16, ValueTypes::Type::Int16},
    {DT_UInt16, ValueTypes::Type::UInt16}, {DT_Int32, ValueTypes::Type::Int32},
    {DT_UInt32, ValueTypes::Type::UInt32}, {DT_Float, ValueTypes::Type::Float},
    {DT_Int64, ValueTypes::Type::Int64},   {DT_UInt64, ValueTypes::Type::UInt64},
    {DT_Double, ValueTypes::Type::Double},
};

// The value whose bits ValueGrammar::parse gave.
template<typename L>
L fromPattern(quint64 pattern)
{
    if constexpr (std::is_same<L, bool>::value) {
        return pattern != 0;
    } else if constexpr (std::is_floating_point<L>::value) {
        std::conditional_t<sizeof(L) == 4, quint32, quint64> bits = pattern;
        L value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    } else {
        return static_cast<L>(static_cast<std::make_unsigned_t<L>>(pattern));
    }
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
    if constexpr (std::is_same<L, bool>::value) {
        return value;
    } else if constexpr (std::is_floating_point<L>::value) {
        if (!std::isfinite(value))
            return shortest(value);
        return decimalValue(value);
    } else {
        const double wide = static_cast<double>(value);
        if (std::fabs(wide) >= JsonNumbers::exactLimit)
            return formatOne(value, ValueText::Style::Plain);
        return wide;
    }
}

} // namespace

namespace ValueText {

DataType typeFromName(const QString &name)
{
    ValueTypes::Type named;
    return ValueTypes::fromName(name, &named) ? dataType(named) : DT_None;
}

DataType dataType(ValueTypes::Type named)
{
    for (const NamedType &entry : namedTypes) {
        if (entry.named == named)
            return entry.type;
    }
    return DT_None;
}

QString textsFromJson(DataType type, const QJsonArray &values, QStringList *texts)
{
    // A float type rounds any number to its own precision anyway: 1e20 is
    // a double's value like any other.
    bool floating = false;
    ElementType::visitStored(type, [&](auto tag) {
        floating = std::is_floating_point<typename decltype(tag)::Type>::value;
    });
    for (const QJsonValue &value : values) {
        if (value.isString()) {
            *texts << value.toString();
        } else if (value.isBool()) {
            *texts << (value.toBool() ? QStringLiteral("1") : QStringLiteral("0"));
        } else if (value.isDouble()) {
            const double number = value.toDouble();
            if (!floating && std::fabs(number) > JsonNumbers::exactLimit && number == std::trunc(number)) {
                return QStringLiteral("a whole number past 2^53 cannot travel as a JSON number "
                                      "exactly: send it as a string, \"18446744073709551615\"");
            }
            *texts << QString::number(number, 'g', 17);
        } else {
            return QStringLiteral("a value is a number, a string or true or false");
        }
    }
    return QString();
}

QString typeName(DataType type)
{
    for (const NamedType &entry : namedTypes) {
        if (entry.type == type)
            return ValueTypes::name(entry.named);
    }
    return QStringLiteral("type %1").arg(int(type));
}

QStringList typeNames()
{
    return ValueTypes::names();
}

QString parseValues(DataType type, const QStringList &texts, QVariant *list)
{
    const NamedType *named = std::find_if(std::begin(namedTypes), std::end(namedTypes),
                                           [type](const NamedType &entry) { return entry.type == type; });
    QString error;
    const bool known = named != std::end(namedTypes) && withElement(type, [&](auto element) {
        using Stored = typename decltype(element)::Stored;
        using Logical = typename decltype(element)::Logical;
        QList<Stored> values;
        for (const QString &text : texts) {
            quint64 pattern = 0;
            error = ValueGrammar::parse(named->named, text, &pattern);
            if (!error.isEmpty())
                return;
            values.append(static_cast<Stored>(fromPattern<Logical>(pattern)));
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
