#include "LibNorvoTCP.h"

#include "labelstatus.h"
#include "requestplan.h"
#include "valuecoding.h"

// Reading labels: checks, one bit or register read, decoding into a typed list.

CLabelVariable LibNorvoTCP::ReadVariable(QString addr, DataType type)
{
    CDriveBaseClass *driver = this;
    return driver->ReadVariable(QString(addr), type, 1);
}

CLabelVariable LibNorvoTCP::ReadVariable(QString addr, DataType type, int count)
{
    const AreaType area = getArea(addr);
    const QString number = getAddr(addr, area);

    int refusal = LabelStatus::Ok;
    if (number.toInt(nullptr, 10) < 0)
        refusal = LabelStatus::CountTooLarge;
    else if (area == Area_None || number.isNull())
        refusal = LabelStatus::AddressNotUsable;
    else if (count <= 0)
        refusal = LabelStatus::CountNotUsable;
    else if (type == DT_None)
        refusal = LabelStatus::TypeNotSupported;
    else if (RequestPlan::read(type, count, area).units > RequestPlan::maxUnits)
        refusal = LabelStatus::CountTooLarge;

    CLabelVariable result;
    if (refusal == LabelStatus::Ok) {
        result = Read_data(number, type, count, area, addr);
    } else {
        // A refused request carries the time of the call; an exchange sets
        // its own. Taken only here: reading the local time costs several
        // microseconds (glibc looks at the time zone file on every call).
        result.status = refusal;
        result.timestamp = QDateTime::currentDateTime();
    }

    result.address = addr;
    result.type = type;
    result.count = count;
    return result;
}

CLabelVariable LibNorvoTCP::Read_data(QString number, DataType type, int count, int area,
                                      QString address)
{
    CLabelVariable result;
    QByteArray data;

    const RequestPlan::Read plan = RequestPlan::read(type, count, area);
    const int code = plan.bitRead
        ? cmd.Read_bool(stationNo, number, int(plan.units), &data, area, address)
        : cmd.Read_area(stationNo, number, int(plan.units), &data, area, address);
    if (code != 0) {
        result.status = LabelStatus::fromLinkCode(code);
        return result;
    }
    result.timestamp = QDateTime::currentDateTime();
    result.status = LabelStatus::Ok;

    // Bring the data into the form the decoders read: nibble bytes for
    // values, one byte per bit for flags.
    const int bits = ValueCoding::valueBits(type);
    if (plan.bitRead && bits == 8)
        bool_conversion_int(&data, count);
    else if (plan.bitRead && bits > 8)
        data = ValueCoding::packBits(data, 16, int(plan.units / 16));
    else if (!plan.bitRead && bits == 1)
        data = ValueCoding::unpackBits(data, 16, int(plan.units));

    switch (type) {
    case DT_Bool:
        result.value = set_variant_bool(number.toInt(nullptr, 10), data, count);
        break;
    case DT_Int8:
        result.value = set_variant_Int8(data, count);
        break;
    case DT_UInt8:
        result.value = set_variant_UInt8(data, count);
        break;
    case DT_Int16:
        result.value = set_variant_Int16(data, count);
        break;
    case DT_UInt16:
        result.value = set_variant_UInt16(data, count);
        break;
    case DT_Int32:
        result.value = set_variant_Int32(data, count);
        break;
    case DT_UInt32:
        result.value = set_variant_UInt32(data, count);
        break;
    case DT_Float:
        result.value = set_variant_fload(data, count);
        break;
    case DT_Int64:
        result.value = set_variant_Int64(data, count);
        break;
    case DT_UInt64:
        result.value = set_variant_UInt64(data, count);
        break;
    case DT_Double:
        result.value = set_variant_double(data, count);
        break;
    default:
        // The exchange took place, but the PLC has no layout for this type.
        result.status = LabelStatus::TypeNotSupported;
        break;
    }
    return result;
}

void LibNorvoTCP::bool_conversion_int(QByteArray *data, int count)
{
    *data = ValueCoding::packBits(*data, 8, count);
}

QVariant LibNorvoTCP::set_variant_bool(int /*start*/, QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decodeBits(data, n));
}

QVariant LibNorvoTCP::set_variant_Int8(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<char>(data, n));
}

QVariant LibNorvoTCP::set_variant_UInt8(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<unsigned char>(data, n));
}

QVariant LibNorvoTCP::set_variant_Int16(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<short>(data, n));
}

QVariant LibNorvoTCP::set_variant_UInt16(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<unsigned short>(data, n));
}

QVariant LibNorvoTCP::set_variant_Int32(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<int>(data, n));
}

QVariant LibNorvoTCP::set_variant_UInt32(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<unsigned int>(data, n));
}

QVariant LibNorvoTCP::set_variant_fload(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<float>(data, n));
}

QVariant LibNorvoTCP::set_variant_Int64(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<qint64>(data, n));
}

QVariant LibNorvoTCP::set_variant_UInt64(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<quint64>(data, n));
}

QVariant LibNorvoTCP::set_variant_double(QByteArray data, int n)
{
    return QVariant::fromValue(ValueCoding::decode<double>(data, n));
}
