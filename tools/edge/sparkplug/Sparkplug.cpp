// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Sparkplug.h"

#include "JsonNumbers.h"
#include "ValueText.h"
#include "elementtype_p.h"

#include <QtCore/QFile>
#include <QtCore/QSaveFile>
#include <QtCore/QtEndian>

#include <cmath>
#include <cstring>
#include <type_traits>

namespace Sparkplug {

namespace {

using Payload = norvo::sparkplug::Payload;
namespace pb = norvo::sparkplug;

const char *const bdSeqName = "bdSeq";
const char *const rebirthName = "Node Control/Rebirth";

// Sparkplug's scalar and array types, in the order of ValueTypes::Type.
const struct
{
    pb::DataType scalar;
    pb::DataType array;
} typeTable[] = {
    {pb::Boolean, pb::BooleanArray}, {pb::Int8, pb::Int8Array},     {pb::UInt8, pb::UInt8Array},
    {pb::Int16, pb::Int16Array},     {pb::UInt16, pb::UInt16Array}, {pb::Int32, pb::Int32Array},
    {pb::UInt32, pb::UInt32Array},   {pb::Float, pb::FloatArray},   {pb::Int64, pb::Int64Array},
    {pb::UInt64, pb::UInt64Array},   {pb::Double, pb::DoubleArray},
};
static_assert(sizeof(typeTable) / sizeof(typeTable[0]) == sizeof(ValueTypes::table) / sizeof(ValueTypes::table[0]),
              "a Sparkplug type for every value type");

// An element as its bit pattern, integers sign-extended to 64 bits (the
// 32-bit int_value carries the low half): int8 -1 is 0xFFFFFFFF there.
template<typename T>
quint64 pattern(T value)
{
    if constexpr (std::is_same<T, bool>::value) {
        return value ? 1 : 0;
    } else if constexpr (std::is_same<T, float>::value) {
        quint32 bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    } else if constexpr (std::is_same<T, double>::value) {
        quint64 bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    } else if constexpr (std::is_same<T, char>::value) {
        // int8's list: char is unsigned on this build.
        return quint64(qint64(static_cast<signed char>(value)));
    } else if constexpr (std::is_signed<T>::value) {
        return quint64(qint64(value));
    } else {
        return quint64(value);
    }
}

// Little-endian packed elements; bits as a 4-byte count and then the bits,
// the first in the top bit of the first byte.
QByteArray packArray(ValueTypes::Type type, const QList<quint64> &patterns)
{
    QByteArray bytes;
    if (type == ValueTypes::Type::Bool) {
        bytes.resize(4 + (patterns.size() + 7) / 8);
        bytes.fill(0);
        qToLittleEndian<quint32>(quint32(patterns.size()), bytes.data());
        for (int index = 0; index < patterns.size(); ++index) {
            if (patterns.at(index))
                bytes[4 + index / 8] = char(quint8(bytes.at(4 + index / 8)) | (0x80 >> (index % 8)));
        }
        return bytes;
    }
    const int width = ValueTypes::info(type).bits / 8;
    bytes.resize(width * patterns.size());
    for (int index = 0; index < patterns.size(); ++index) {
        const quint64 little = qToLittleEndian(patterns.at(index));
        std::memcpy(bytes.data() + index * width, &little, size_t(width));
    }
    return bytes;
}

// The elements packArray packed, or false when the bytes are not count
// of them.
bool unpackArray(ValueTypes::Type type, const std::string &bytes, int count, QList<quint64> *patterns)
{
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    if (type == ValueTypes::Type::Bool) {
        if (bytes.size() < 4 || qFromLittleEndian<quint32>(data) != quint32(count)
            || bytes.size() != size_t(4 + (count + 7) / 8))
            return false;
        for (int index = 0; index < count; ++index)
            patterns->append((data[4 + index / 8] >> (7 - index % 8)) & 1);
        return true;
    }
    const int width = ValueTypes::info(type).bits / 8;
    if (bytes.size() != size_t(width) * size_t(count))
        return false;
    for (int index = 0; index < count; ++index) {
        quint64 little = 0;
        std::memcpy(&little, data + index * width, size_t(width));
        patterns->append(qFromLittleEndian(little));
    }
    return true;
}

// The first count elements of the tag's list as bit patterns; false when
// the value holds no list of the tag's type with that many.
bool patterns(const TagFile::Tag &tag, const QVariant &value, QList<quint64> *out)
{
    bool ok = false;
    ElementType::visitStored(ValueText::dataType(tag.type), [&](auto kind) {
        using T = typename decltype(kind)::Type;
        if (value.userType() != qMetaTypeId<QList<T>>())
            return;
        const QList<T> list = value.value<QList<T>>();
        if (tag.count < 1 || list.size() < tag.count)
            return;
        for (int index = 0; index < tag.count; ++index)
            out->append(pattern(list.at(index)));
        ok = true;
    });
    return ok;
}

void setScalar(Metric *metric, ValueTypes::Type type, quint64 bits)
{
    switch (type) {
    case ValueTypes::Type::Bool: metric->set_boolean_value(bits != 0); break;
    case ValueTypes::Type::Float: {
        const quint32 low = quint32(bits);
        float value;
        std::memcpy(&value, &low, sizeof value);
        metric->set_float_value(value);
        break;
    }
    case ValueTypes::Type::Double: {
        double value;
        std::memcpy(&value, &bits, sizeof value);
        metric->set_double_value(value);
        break;
    }
    case ValueTypes::Type::Int64:
    case ValueTypes::Type::UInt64: metric->set_long_value(bits); break;
    default: metric->set_int_value(quint32(bits)); break;
    }
}

void addProperty(Metric *metric, const char *key, const Payload::PropertyValue &value)
{
    Payload::PropertySet *set = metric->mutable_properties();
    set->add_keys(key);
    *set->add_values() = value;
}

void setNull(Metric *metric, const QString &reason)
{
    metric->set_is_null(true);
    Payload::PropertyValue quality;
    quality.set_type(pb::Int32);
    quality.set_int_value(quint32(qualityBad));
    addProperty(metric, "Quality", quality);
    Payload::PropertyValue text;
    text.set_type(pb::String);
    text.set_string_value(reason.toStdString());
    addProperty(metric, "reason", text);
}

QByteArray serialized(const Payload &payload)
{
    const std::string bytes = payload.SerializeAsString();
    return QByteArray(bytes.data(), int(bytes.size()));
}

// A number the daemon's write path reads exactly: JSON numbers up to 2^53,
// decimal text beyond.
QJsonValue integer(qint64 value)
{
    // Rounding to double only ever reaches the limit, never passes below it.
    if (std::fabs(double(value)) < JsonNumbers::exactLimit)
        return double(value);
    return QString::number(value);
}

QJsonValue unsignedInteger(quint64 value)
{
    if (double(value) < JsonNumbers::exactLimit)
        return double(value);
    return QString::number(value);
}

// Float text as ValueText reads it: JSON has no nan or infinity.
QJsonValue real(double value)
{
    if (std::isnan(value))
        return QStringLiteral("nan");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("inf") : QStringLiteral("-inf");
    return value;
}

// An element's bit pattern as the JSON value of the tag's type. Integers of
// 8 to 32 bits come in int_value: signed ones sign-extended or as their own
// width's pattern; parseValues checks the range afterwards.
QJsonValue jsonElement(ValueTypes::Type type, quint64 bits)
{
    const ValueTypes::Info &info = ValueTypes::info(type);
    switch (type) {
    case ValueTypes::Type::Bool: return bits != 0;
    case ValueTypes::Type::Float: {
        const quint32 low = quint32(bits);
        float value;
        std::memcpy(&value, &low, sizeof value);
        return real(value);
    }
    case ValueTypes::Type::Double: {
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return real(value);
    }
    case ValueTypes::Type::Int64: return integer(qint64(bits));
    case ValueTypes::Type::UInt64: return unsignedInteger(bits);
    default: break;
    }
    const quint64 low = bits & ((quint64(1) << info.bits) - 1);
    if (!info.isSigned)
        return unsignedInteger(bits);
    const quint64 sign = quint64(1) << (info.bits - 1);
    if (quint32(bits) == quint32(low))
        return integer(qint64(low ^ sign) - qint64(sign)); // the width's own pattern
    return integer(qint32(quint32(bits)));                 // sign-extended to 32 bits
}

// The values a DCMD metric carries for `tag`, or why it cannot be written.
QString commandValues(const Metric &metric, const TagFile::Tag &tag, QJsonArray *values)
{
    const quint32 expected = dataType(tag.type, tag.count);
    if (metric.has_datatype() && metric.datatype() != expected) {
        return QStringLiteral("datatype %1 does not match the tag's %2 (%3 x %4)")
            .arg(metric.datatype())
            .arg(expected)
            .arg(ValueTypes::name(tag.type))
            .arg(tag.count);
    }
    if (metric.is_null())
        return QStringLiteral("a null value cannot be written");
    QList<quint64> bits;
    if (tag.count > 1) {
        if (metric.value_case() != Metric::kBytesValue)
            return QStringLiteral("an array is written as bytes");
        if (!unpackArray(tag.type, metric.bytes_value(), tag.count, &bits))
            return QStringLiteral("the bytes are not %1 %2 values").arg(tag.count).arg(ValueTypes::name(tag.type));
    } else {
        Metric::ValueCase want = Metric::kIntValue;
        switch (tag.type) {
        case ValueTypes::Type::Bool: want = Metric::kBooleanValue; break;
        case ValueTypes::Type::Float: want = Metric::kFloatValue; break;
        case ValueTypes::Type::Double: want = Metric::kDoubleValue; break;
        case ValueTypes::Type::Int64:
        case ValueTypes::Type::UInt64: want = Metric::kLongValue; break;
        default: break;
        }
        if (metric.value_case() != want)
            return QStringLiteral("the value is not in the field of %1").arg(ValueTypes::name(tag.type));
        switch (want) {
        case Metric::kBooleanValue: bits << (metric.boolean_value() ? 1 : 0); break;
        case Metric::kFloatValue: {
            const float value = metric.float_value();
            quint32 pattern32;
            std::memcpy(&pattern32, &value, sizeof pattern32);
            bits << pattern32;
            break;
        }
        case Metric::kDoubleValue: bits << pattern(metric.double_value()); break;
        case Metric::kLongValue: bits << metric.long_value(); break;
        default: bits << metric.int_value(); break;
        }
    }
    for (quint64 element : qAsConst(bits))
        values->append(jsonElement(tag.type, element));
    return {};
}

} // namespace

QString topic(const QString &group, MessageType type, const QString &edgeNode, const QString &device)
{
    static const char *const names[] = {"NBIRTH", "NDEATH", "DBIRTH", "DDATA", "DDEATH", "NCMD", "DCMD"};
    QString text = QStringLiteral("spBv1.0/%1/%2/%3").arg(group, QLatin1String(names[int(type)]), edgeNode);
    if (!device.isEmpty())
        text += QLatin1Char('/') + device;
    return text;
}

quint32 dataType(ValueTypes::Type type, int count)
{
    return count > 1 ? typeTable[int(type)].array : typeTable[int(type)].scalar;
}

Metric metric(const TagFile::Tag &tag, quint64 alias, const Reading &reading, bool withName)
{
    Metric metric;
    if (withName)
        metric.set_name(tag.name.toStdString());
    metric.set_alias(alias);
    metric.set_timestamp(quint64(reading.timeMs));
    metric.set_datatype(dataType(tag.type, tag.count));
    QList<quint64> bits;
    if (reading.failed())
        setNull(&metric, reading.reason);
    else if (!reading.value.isValid())
        setNull(&metric, QStringLiteral("not read yet"));
    else if (!patterns(tag, reading.value, &bits))
        setNull(&metric, QStringLiteral("the read gave no %1 x %2 value").arg(ValueTypes::name(tag.type)).arg(tag.count));
    else if (tag.count > 1)
        metric.set_bytes_value(packArray(tag.type, bits).toStdString());
    else
        setScalar(&metric, tag.type, bits.first());
    return metric;
}

quint64 loadBirthDeath(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 255;
    bool ok = false;
    const uint value = file.read(16).trimmed().toUInt(&ok);
    return ok && value <= 255 ? value : 255;
}

bool saveBirthDeath(const QString &path, quint64 bdSeq, QString *error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(bdSeq) + '\n') < 0 || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

QByteArray nodeBirth(qint64 timeMs, quint64 bdSeq, const QList<Metric> &nodeMetrics)
{
    Payload payload;
    payload.set_timestamp(quint64(timeMs));
    payload.set_seq(0);
    Metric *seq = payload.add_metrics();
    seq->set_name(bdSeqName);
    seq->set_timestamp(quint64(timeMs));
    seq->set_datatype(pb::UInt64);
    seq->set_long_value(bdSeq);
    Metric *rebirth = payload.add_metrics();
    rebirth->set_name(rebirthName);
    rebirth->set_timestamp(quint64(timeMs));
    rebirth->set_datatype(pb::Boolean);
    rebirth->set_boolean_value(false);
    for (const Metric &metric : nodeMetrics)
        *payload.add_metrics() = metric;
    return serialized(payload);
}

QByteArray nodeDeath(qint64 timeMs, quint64 bdSeq)
{
    Payload payload;
    payload.set_timestamp(quint64(timeMs));
    Metric *seq = payload.add_metrics();
    seq->set_name(bdSeqName);
    seq->set_timestamp(quint64(timeMs));
    seq->set_datatype(pb::UInt64);
    seq->set_long_value(bdSeq);
    return serialized(payload);
}

QByteArray deviceBirth(qint64 timeMs, quint64 seq, const QList<TagState> &tags)
{
    Payload payload;
    payload.set_timestamp(quint64(timeMs));
    payload.set_seq(seq);
    for (const TagState &state : tags) {
        Metric *added = payload.add_metrics();
        *added = metric(state.tag, state.alias, state.reading, true);
        // A tag not read yet is born at the birth's time: every metric of a
        // birth has a timestamp.
        if (state.reading.timeMs == 0)
            added->set_timestamp(quint64(timeMs));
    }
    return serialized(payload);
}

QByteArray deviceData(qint64 timeMs, quint64 seq, const QList<TagState> &changed)
{
    Payload payload;
    payload.set_timestamp(quint64(timeMs));
    payload.set_seq(seq);
    for (const TagState &state : changed)
        *payload.add_metrics() = metric(state.tag, state.alias, state.reading, false);
    return serialized(payload);
}

QByteArray deviceDeath(qint64 timeMs, quint64 seq)
{
    Payload payload;
    payload.set_timestamp(quint64(timeMs));
    payload.set_seq(seq);
    return serialized(payload);
}

QByteArray sequenced(const QByteArray &bytes, quint64 seq, bool historical)
{
    Payload payload;
    if (!payload.ParseFromArray(bytes.constData(), bytes.size()))
        return bytes;
    payload.set_seq(seq);
    if (historical) {
        for (Metric &metric : *payload.mutable_metrics())
            metric.set_is_historical(true);
    }
    return serialized(payload);
}

Metric nodeMetric(const QString &name, qint64 timeMs, quint64 value)
{
    Metric metric;
    metric.set_name(name.toStdString());
    metric.set_timestamp(quint64(timeMs));
    metric.set_datatype(pb::UInt64);
    metric.set_long_value(value);
    return metric;
}

bool rebirthRequested(const QByteArray &bytes)
{
    Payload payload;
    if (!payload.ParseFromArray(bytes.constData(), bytes.size()))
        return false;
    for (const Metric &metric : payload.metrics()) {
        if (metric.name() == rebirthName && metric.value_case() == Metric::kBooleanValue && metric.boolean_value())
            return true;
    }
    return false;
}

bool deviceCommand(const QByteArray &bytes, const QList<TagState> &tags, QList<Write> *writes,
                   QList<Refusal> *refusals)
{
    Payload payload;
    if (!payload.ParseFromArray(bytes.constData(), bytes.size()))
        return false;
    for (const Metric &metric : payload.metrics()) {
        const QString name = QString::fromStdString(metric.name());
        // An empty name still shows in the log.
        const QString label = !metric.has_name() ? QStringLiteral("alias %1").arg(metric.alias())
                              : name.isEmpty()    ? QStringLiteral("\"\"")
                                                  : name;
        // Without either, the alias would read as 0 and could name a tag.
        if (!metric.has_name() && !metric.has_alias()) {
            refusals->append({QStringLiteral("(unnamed)"), QStringLiteral("neither a name nor an alias")});
            continue;
        }
        int found = -1;
        for (int index = 0; index < tags.size() && found < 0; ++index) {
            if (metric.has_name() ? tags.at(index).tag.name == name : tags.at(index).alias == metric.alias())
                found = index;
        }
        if (found < 0) {
            refusals->append({label, QStringLiteral("no such metric")});
            continue;
        }
        const TagFile::Tag &tag = tags.at(found).tag;
        if (!tag.writable) {
            refusals->append({label, QStringLiteral("the tag is not writable")});
            continue;
        }
        Write write;
        write.tag = found;
        const QString reason = commandValues(metric, tag, &write.values);
        if (reason.isEmpty())
            writes->append(write);
        else
            refusals->append({label, reason});
    }
    return true;
}

} // namespace Sparkplug
