// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LibNorvoTCP.h"

#include "labelstatus.h"
#include "requestplan.h"
#include "valuecoding.h"

#include "Limits.h"

// Writing labels: checks, encoding the record's list into register nibbles,
// one register write.

// Counts above Limits::maxWriteCount are refused as too large before the
// type is looked at, although a write request carries far fewer registers
// (RequestPlan::maxUnits): hosts rely on the status this order gives.

CLabelVariable LibNorvoTCP::WriteVariable(QString label, DataType type, CLabelVariable record)
{
    // Through the interface on purpose: the one-value form is the counted
    // form with a count of 1, including any override of the counted form.
    CDriveBaseClass *driver = this;
    return driver->WriteVariable(label, type, record, 1);
}

CLabelVariable LibNorvoTCP::WriteVariable(QString label, DataType type, CLabelVariable record,
                                          int count)
{
    const AreaType area = getArea(label);
    const QString number = getAddr(label, area);

    if (area == Area_None || number.isNull()) {
        record.status = LabelStatus::AddressNotUsable;
    } else if (count < 1) {
        record.status = LabelStatus::CountNotUsable;
    } else if (count > Limits::maxWriteCount) {
        record.status = LabelStatus::CountTooLarge;
    } else if (type == DT_None) {
        record.status = LabelStatus::TypeNotSupported;
    } else {
        const CLabelVariable written = Write_D(number, type, count, record, area, label);
        record.status = written.status;
        record.value = written.value;
        record.timestamp = written.timestamp;
        record.auxText = written.auxText;
    }

    record.address = label;
    record.type = type;
    record.count = count;
    return record;
}

CLabelVariable LibNorvoTCP::Write_D(QString number, DataType type, int count,
                                    CLabelVariable record, int area, QString label)
{
    // Flags, texts and the variants cannot be written.
    if (!ValueCoding::writable(type)) {
        record.status = LabelStatus::TypeNotSupported;
        return record;
    }
    // Two 8-bit values share a register: an odd count would leave the last
    // one unwritten, or write no register at all.
    if (ValueCoding::valueBits(type) == 8 && count % 2 != 0) {
        record.status = LabelStatus::CountNotUsable;
        return record;
    }
    const RequestPlan::Write plan = RequestPlan::write(type, count);
    if (plan.units > RequestPlan::maxUnits) {
        record.status = LabelStatus::CountTooLarge;
        return record;
    }
    QByteArray nibbles;
    switch (encodeRecord(type, record, count, &nibbles)) {
    case ValueCoding::EncodeResult::Encoded:
        break;
    case ValueCoding::EncodeResult::NotConvertible:
    case ValueCoding::EncodeResult::NotWritable:
        record.status = LabelStatus::TypeNotSupported;
        return record;
    case ValueCoding::EncodeResult::TooFewElements:
        record.status = LabelStatus::CountNotUsable;
        return record;
    }

    const int code = cmd.Write_area(stationNo, number, int(plan.units), nibbles, area, label);
    record.status = LabelStatus::fromVerdict(cmd.verdict());
    if (code == 0)
        record.timestamp = QDateTime::currentDateTime();
    return record;
}

ValueCoding::EncodeResult LibNorvoTCP::encodeRecord(DataType type, const CLabelVariable &record,
                                                    int count, QByteArray *out)
{
    int (LibNorvoTCP::*encoder)(CLabelVariable, int, QByteArray *) = nullptr;
    switch (type) {
    case DT_Int8: encoder = &LibNorvoTCP::Wset_variant_Int8; break;
    case DT_UInt8: encoder = &LibNorvoTCP::Wset_variant_UInt8; break;
    case DT_Int16: encoder = &LibNorvoTCP::Wset_variant_Int16; break;
    case DT_UInt16: encoder = &LibNorvoTCP::Wset_variant_uInt16; break;
    case DT_Int32: encoder = &LibNorvoTCP::Wset_variant_Int32; break;
    case DT_UInt32: encoder = &LibNorvoTCP::Wset_variant_UInt32; break;
    case DT_Float: encoder = &LibNorvoTCP::Wset_variant_float; break;
    case DT_Int64: encoder = &LibNorvoTCP::Wset_variant_Int64; break;
    case DT_UInt64: encoder = &LibNorvoTCP::Wset_variant_UInt64; break;
    case DT_Double: encoder = &LibNorvoTCP::Wset_variant_double; break;
    default: return ValueCoding::EncodeResult::NotWritable;
    }
    return ValueCoding::EncodeResult((this->*encoder)(record, count, out));
}

// The encoders by type, each the table's encoder for its type: it appends
// the nibbles of the first count elements of the record's list and returns a
// ValueCoding::EncodeResult; it appends nothing when the list is not of its
// type or too short.

int LibNorvoTCP::Wset_variant_Int8(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_Int8, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_UInt8(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_UInt8, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_Int16(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_Int16, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_uInt16(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_UInt16, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_Int32(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_Int32, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_UInt32(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_UInt32, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_float(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_Float, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_Int64(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_Int64, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_UInt64(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_UInt64, record.value, count, out));
}

int LibNorvoTCP::Wset_variant_double(CLabelVariable record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeWrite(DT_Double, record.value, count, out));
}
