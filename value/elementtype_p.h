#ifndef ELEMENTTYPE_P_H
#define ELEMENTTYPE_P_H

#include "DataType.h"

#include <QtCore/QtGlobal>

// Which C++ element type the list of a record of a given DataType holds.
namespace ElementType {

template<typename T>
struct Tag {
    using Type = T;
};

// Calls visit(Tag<T>()) with the element type of a numeric or bit type and
// answers true; answers false, without calling, for every other value.
// Each variant holds what its base type holds. DT_QString is left to the
// caller: text supports only some of the operations the numbers do.
template<typename Visitor>
bool visitNumeric(DataType type, Visitor &&visit)
{
    switch (type) {
    case DT_Bool:
        visit(Tag<bool>());
        return true;
    case DT_Int8:
        visit(Tag<char>());
        return true;
    case DT_UInt8:
        visit(Tag<unsigned char>());
        return true;
    case DT_Int16:
    case DT_Int16_V1:
    case DT_Int16_V2:
        visit(Tag<short>());
        return true;
    case DT_UInt16:
    case DT_UInt16_V1:
    case DT_UInt16_V2:
        visit(Tag<unsigned short>());
        return true;
    case DT_Int32:
    case DT_Int32_V1:
    case DT_Int32_V2:
    case DT_Int32_V3:
    case DT_Int32_V4:
        visit(Tag<int>());
        return true;
    case DT_UInt32:
    case DT_UInt32_V1:
    case DT_UInt32_V2:
    case DT_UInt32_V3:
    case DT_UInt32_V4:
        visit(Tag<unsigned int>());
        return true;
    case DT_Float:
    case DT_Float_V1:
    case DT_Float_V2:
    case DT_Float_V3:
    case DT_Float_V4:
        visit(Tag<float>());
        return true;
    case DT_Int64:
        visit(Tag<qint64>());
        return true;
    case DT_UInt64:
        visit(Tag<quint64>());
        return true;
    case DT_Double:
    case DT_Double_V1:
    case DT_Double_V2:
    case DT_Double_V3:
    case DT_Double_V4:
        visit(Tag<double>());
        return true;
    case DT_None:
    case DT_QString:
        break;
    }
    return false;
}

} // namespace ElementType

#endif // ELEMENTTYPE_P_H
