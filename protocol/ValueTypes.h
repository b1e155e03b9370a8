// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_VALUETYPES_H
#define NORVO_PROTOCOL_VALUETYPES_H

#include <QtCore/QString>
#include <QtCore/QStringList>

// The types values are read and written as, by the names norvo's command
// line and norvo-sim's memory files give them.
namespace ValueTypes {

enum class Type { Bool, Int8, UInt8, Int16, UInt16, Int32, UInt32, Float, Int64, UInt64, Double };

struct Info
{
    Type type;
    const char *name;
    int bits;
    bool isSigned; // an integer in two's complement
    bool isFloat;  // IEEE 754
};

// In the order of Type, which is the order names are listed in.
constexpr Info table[] = {
    {Type::Bool, "bool", 1, false, false},     {Type::Int8, "int8", 8, true, false},
    {Type::UInt8, "uint8", 8, false, false},   {Type::Int16, "int16", 16, true, false},
    {Type::UInt16, "uint16", 16, false, false}, {Type::Int32, "int32", 32, true, false},
    {Type::UInt32, "uint32", 32, false, false}, {Type::Float, "float", 32, false, true},
    {Type::Int64, "int64", 64, true, false},   {Type::UInt64, "uint64", 64, false, false},
    {Type::Double, "double", 64, false, true},
};

constexpr bool tableInOrder()
{
    int index = 0;
    for (const Info &entry : table) {
        if (int(entry.type) != index++)
            return false;
    }
    return true;
}
static_assert(tableInOrder(), "info() looks a type up by its place in the table");

constexpr const Info &info(Type type)
{
    return table[int(type)];
}

// A name in any case; false when it names no type.
inline bool fromName(const QString &name, Type *type)
{
    for (const Info &entry : table) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0) {
            *type = entry.type;
            return true;
        }
    }
    return false;
}

inline QString name(Type type)
{
    return QLatin1String(info(type).name);
}

inline QStringList names()
{
    QStringList list;
    for (const Info &entry : table)
        list << QLatin1String(entry.name);
    return list;
}

} // namespace ValueTypes

#endif
