#include "LibNorvoTCP.h"

#include "labelstatus.h"
#include "requestplan.h"
#include "valuecoding.h"

// Writing labels: checks, encoding the record's list into register nibbles,
// one register write.

namespace {

constexpr int maxWriteCount = 65535;

template <typename T>
int encodeInto(const CLabelVariable &record, int count, QByteArray *out)
{
    return int(ValueCoding::encodeVariant<T>(record.value, count, out));
}

} // namespace

CLabelVariable LibNorvoTCP::WriteVariable(QString addr, DataType type, CLabelVariable record)
{
    CDriveBaseClass *driver = this;
    return driver->WriteVariable(addr, type, record, 1);
}

CLabelVariable LibNorvoTCP::WriteVariable(QString addr, DataType type, CLabelVariable record,
                                          int count)
{
    const AreaType area = getArea(addr);
    const QString addrText = getAddr(addr, area);

    if (area == Area_None || addrText.isNull()) {
        record.status = LabelStatus::AddressNotUsable;
    } else if (count < 1) {
        record.status = LabelStatus::CountNotUsable;
    } else if (count > maxWriteCount) {
        record.status = LabelStatus::CountTooLarge;
    } else if (type == DT_None) {
        record.status = LabelStatus::TypeNotSupported;
    } else {
        const CLabelVariable written = Write_D(addrText, type, count, record, area, addr);
        record.status = written.status;
        record.value = written.value;
        record.timestamp = written.timestamp;
        record.auxText = written.auxText;
    }

    record.address = addr;
    record.type = type;
    record.count = count;
    return record;
}

CLabelVariable LibNorvoTCP::Write_D(QString addrText, DataType type, int count,
                                    CLabelVariable record, int area, QString addr)
{
    using Encoder = int (LibNorvoTCP::*)(CLabelVariable, int, QByteArray *);
    Encoder encoder = nullptr;
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
    default: break; // flags, texts and the variants cannot be written
    }

    if (!encoder) {
        record.status = LabelStatus::TypeNotSupported;
        return record;
    }
    // Two 8-bit values share a register: an odd count would leave the last
    // one unwritten, or write no register at all.
    if (ValueCoding::valueBits(type) == 8 && count % 2 != 0) {
        record.status = LabelStatus::CountNotUsable;
        return record;
    }
    const int registers = getBytelen(type, count) / 2;
    if (registers > RequestPlan::maxUnits) {
        record.status = LabelStatus::CountTooLarge;
        return record;
    }
    QByteArray nibbles;
    switch (ValueCoding::EncodeResult((this->*encoder)(record, count, &nibbles))) {
    case ValueCoding::EncodeResult::Encoded:
        break;
    case ValueCoding::EncodeResult::NotConvertible:
        record.status = LabelStatus::TypeNotSupported;
        return record;
    case ValueCoding::EncodeResult::TooFewElements:
        record.status = LabelStatus::CountNotUsable;
        return record;
    }

    const int code = cmd.Write_area(stationNo, addrText, registers, nibbles, area, addr);
    record.status = LabelStatus::fromLinkCode(code);
    if (code == 0)
        record.timestamp = QDateTime::currentDateTime();
    return record;
}

// Each encoder appends the nibbles of the first count elements of the
// record's list and returns a ValueCoding::EncodeResult; it appends nothing
// when the list is not of its type or too short.

int LibNorvoTCP::Wset_variant_Int8(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<char>(record, count, out);
}

int LibNorvoTCP::Wset_variant_UInt8(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<unsigned char>(record, count, out);
}

int LibNorvoTCP::Wset_variant_Int16(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<short>(record, count, out);
}

int LibNorvoTCP::Wset_variant_uInt16(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<unsigned short>(record, count, out);
}

int LibNorvoTCP::Wset_variant_Int32(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<int>(record, count, out);
}

int LibNorvoTCP::Wset_variant_UInt32(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<unsigned int>(record, count, out);
}

int LibNorvoTCP::Wset_variant_float(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<float>(record, count, out);
}

int LibNorvoTCP::Wset_variant_Int64(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<qint64>(record, count, out);
}

int LibNorvoTCP::Wset_variant_UInt64(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<quint64>(record, count, out);
}

int LibNorvoTCP::Wset_variant_double(CLabelVariable record, int count, QByteArray *out)
{
    return encodeInto<double>(record, count, out);
}
