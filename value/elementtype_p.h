// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef ELEMENTTYPE_P_H
#define ELEMENTTYPE_P_H

#include "DataType.h"

#include <QtCore/QtGlobal>

#include <type_traits>

// The one table of data types: for each DataType, the C++ element type the
// list of its records holds, and whether the PLC has a layout for it. The
// record operators, the value coding, the request sizes and the read and
// write paths all take their answer from here.
namespace ElementType {

template<typename T, bool PlcLayout>
struct Tag {
    using Type = T;
    // The PLC stores values of the type; the variants hold their base type's
    // elements, but are neither read nor written.
    static constexpr bool plcLayout = PlcLayout;
    // Bits of one value: 1 for a flag, else the element's width.
    static constexpr int bits = std::is_same<T, bool>::value ? 1 : int(sizeof(T)) * 8;
};

template<typename T>
using Stored = Tag<T, true>;
template<typename T>
using HostOnly = Tag<T, false>;

// Calls visit(Tag<T, plcLayout>()) for a numeric or bit type and answers
// true; answers false, without calling, for every other value. DT_QString is
// left to the caller: text supports only some of the operations the numbers do.
template<typename Visitor>
bool visitNumeric(DataType type, Visitor &&visit)
{
    switch (type) {
    case DT_Bool: visit(Stored<bool>()); return true;
    case DT_Int8: visit(Stored<char>()); return true;
    case DT_UInt8: visit(Stored<unsigned char>()); return true;
    case DT_Int16: visit(Stored<short>()); return true;
    case DT_UInt16: visit(Stored<unsigned short>()); return true;
    case DT_Int32: visit(Stored<int>()); return true;
    case DT_UInt32: visit(Stored<unsigned int>()); return true;
    case DT_Float: visit(Stored<float>()); return true;
    case DT_Int64: visit(Stored<qint64>()); return true;
    case DT_UInt64: visit(Stored<quint64>()); return true;
    case DT_Double: visit(Stored<double>()); return true;

    case DT_Int16_V1:
    case DT_Int16_V2: visit(HostOnly<short>()); return true;
    case DT_UInt16_V1:
    case DT_UInt16_V2: visit(HostOnly<unsigned short>()); return true;
    case DT_Int32_V1:
    case DT_Int32_V2:
    case DT_Int32_V3:
    case DT_Int32_V4: visit(HostOnly<int>()); return true;
    case DT_UInt32_V1:
    case DT_UInt32_V2:
    case DT_UInt32_V3:
    case DT_UInt32_V4: visit(HostOnly<unsigned int>()); return true;
    case DT_Float_V1:
    case DT_Float_V2:
    case DT_Float_V3:
    case DT_Float_V4: visit(HostOnly<float>()); return true;
    case DT_Double_V1:
    case DT_Double_V2:
    case DT_Double_V3:
    case DT_Double_V4: visit(HostOnly<double>()); return true;

    case DT_None:
    case DT_QString:
        break;
    }
    return false;
}

// Calls visit(Tag) for a type the PLC stores and answers true; answers
// false, without calling, for every other value.
template<typename Visitor>
bool visitStored(DataType type, Visitor &&visit)
{
    bool stored = false;
    visitNumeric(type, [&](auto tag) {
        if constexpr (decltype(tag)::plcLayout) {
            stored = true;
            visit(tag);
        }
    });
    return stored;
}

} // namespace ElementType

#endif // ELEMENTTYPE_P_H
