// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef DATATYPE_H
#define DATATYPE_H

// The type of a label's value. The host shares these numbers; the variant
// members are handled like their base type by the record operators and are
// not read or written by the driver.
//
// The representation is fixed to int: the host hands over whatever number it
// holds, and every int, named here or not, must be a valid value to look at.
enum DataType : int {
    DT_None = 0,
    DT_Bool = 1,
    DT_Int8 = 2,
    DT_UInt8 = 3,
    DT_Int16 = 4,
    DT_UInt16 = 5,
    DT_Int32 = 6,
    DT_UInt32 = 7,
    DT_Float = 8,
    DT_Int64 = 9,
    DT_UInt64 = 10,
    DT_Double = 11,
    DT_QString = 12,

    DT_Int16_V1 = 13,
    DT_Int16_V2 = 14,
    DT_UInt16_V1 = 15,
    DT_UInt16_V2 = 16,
    DT_Int32_V1 = 17,
    DT_Int32_V2 = 18,
    DT_Int32_V3 = 19,
    DT_Int32_V4 = 20,
    DT_UInt32_V1 = 21,
    DT_UInt32_V2 = 22,
    DT_UInt32_V3 = 23,
    DT_UInt32_V4 = 24,

    DT_Float_V1 = 33,
    DT_Float_V2 = 34,
    DT_Float_V3 = 35,
    DT_Float_V4 = 36,
    DT_Double_V1 = 37,
    DT_Double_V2 = 38,
    DT_Double_V3 = 39,
    DT_Double_V4 = 40
};

#endif // DATATYPE_H
