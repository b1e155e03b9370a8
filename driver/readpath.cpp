// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LibNorvoTCP.h"

#include "labelstatus.h"
#include "requestplan.h"
#include "valuecoding.h"

// Reading labels: checks, one bit or register read, decoding into a typed list.

CLabelVariable LibNorvoTCP::ReadVariable(QString label, DataType type)
{
    // Through the interface on purpose: the one-value form is the counted
    // form with a count of 1, including any override of the counted form.
    CDriveBaseClass *driver = this;
    return driver->ReadVariable(QString(label), type, 1);
}

CLabelVariable LibNorvoTCP::ReadVariable(QString label, DataType type, int count)
{
    const AreaType area = getArea(label);
    const QString number = getAddr(label, area);

    int refusal = LabelStatus::Ok;
    if (area == Area_None || number.isNull())
        refusal = LabelStatus::AddressNotUsable;
    else if (count <= 0)
        refusal = LabelStatus::CountNotUsable;
    else if (type == DT_None)
        refusal = LabelStatus::TypeNotSupported;
    else if (RequestPlan::read(type, count, area).units > RequestPlan::maxUnits)
        refusal = LabelStatus::CountTooLarge;

    CLabelVariable result;
    if (refusal == LabelStatus::Ok) {
        result = Read_data(number, type, count, area, label);
    } else {
        // A refused request carries the time of the call; an exchange sets
        // its own. Taken only here: reading the local time costs several
        // microseconds (glibc looks at the time zone file on every call).
        result.status = refusal;
        result.timestamp = QDateTime::currentDateTime();
    }

    result.address = label;
    result.type = type;
    result.count = count;
    return result;
}

CLabelVariable LibNorvoTCP::Read_data(QString number, DataType type, int count, int area,
                                      QString label)
{
    CLabelVariable result;
    QByteArray data;

    const RequestPlan::Read plan = RequestPlan::read(type, count, area);
    const int code = plan.bitRead
        ? cmd.Read_bool(stationNo, number, int(plan.units), &data, area, label)
        : cmd.Read_area(stationNo, number, int(plan.units), &data, area, label);
    if (code != 0) {
        result.status = LabelStatus::fromVerdict(cmd.verdict());
        return result;
    }
    result.timestamp = QDateTime::currentDateTime();
    result.value = decodeAnswer(type, plan, data, count, number.toInt(nullptr, 10));
    // Without a value the exchange took place, but the PLC has no layout
    // for this type.
    result.status = result.value.isValid() ? LabelStatus::Ok : LabelStatus::TypeNotSupported;
    return result;
}

QVariant LibNorvoTCP::decodeAnswer(DataType type, const RequestPlan::Read &plan, QByteArray data,
                                   int count, int start)
{
    data = ValueCoding::decoderForm(type, plan.bitRead, plan.units, data, count);
    switch (type) {
    case DT_Bool: return set_variant_bool(start, data, count);
    case DT_Int8: return set_variant_Int8(data, count);
    case DT_UInt8: return set_variant_UInt8(data, count);
    case DT_Int16: return set_variant_Int16(data, count);
    case DT_UInt16: return set_variant_UInt16(data, count);
    case DT_Int32: return set_variant_Int32(data, count);
    case DT_UInt32: return set_variant_UInt32(data, count);
    case DT_Float: return set_variant_fload(data, count);
    case DT_Int64: return set_variant_Int64(data, count);
    case DT_UInt64: return set_variant_UInt64(data, count);
    case DT_Double: return set_variant_double(data, count);
    default: return QVariant();
    }
}

// The decoders by type, each the table's decoder for its type: n values
// from data in the decoders' form (bool_conversion_int packs the bits of a
// bit read into bytes, as decoderForm does for 8-bit values).

void LibNorvoTCP::bool_conversion_int(QByteArray *data, int count)
{
    *data = ValueCoding::packBits(*data, 8, count);
}

QVariant LibNorvoTCP::set_variant_bool(int /*start*/, QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Bool, data, n);
}

QVariant LibNorvoTCP::set_variant_Int8(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Int8, data, n);
}

QVariant LibNorvoTCP::set_variant_UInt8(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_UInt8, data, n);
}

QVariant LibNorvoTCP::set_variant_Int16(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Int16, data, n);
}

QVariant LibNorvoTCP::set_variant_UInt16(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_UInt16, data, n);
}

QVariant LibNorvoTCP::set_variant_Int32(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Int32, data, n);
}

QVariant LibNorvoTCP::set_variant_UInt32(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_UInt32, data, n);
}

QVariant LibNorvoTCP::set_variant_fload(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Float, data, n);
}

QVariant LibNorvoTCP::set_variant_Int64(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Int64, data, n);
}

QVariant LibNorvoTCP::set_variant_UInt64(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_UInt64, data, n);
}

QVariant LibNorvoTCP::set_variant_double(QByteArray data, int n)
{
    return ValueCoding::decodeList(DT_Double, data, n);
}
