// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo-edge's Sparkplug B core: datatypes, sequence numbers, and payloads
// read back field by field through the generated parser.

#include "Sparkplug.h"
#include "TestTable.h"
#include "ValueText.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <limits>

using Sparkplug::Metric;
using Payload = norvo::sparkplug::Payload;
using Type = ValueTypes::Type;

Q_DECLARE_METATYPE(ValueTypes::Type)

namespace {

template<typename T>
QVariant list(std::initializer_list<T> values)
{
    return QVariant::fromValue(QList<T>(values));
}

TagFile::Tag tag(const QString &name, Type type, int count = 1, bool writable = true)
{
    TagFile::Tag tag;
    tag.name = name;
    tag.type = type;
    tag.count = count;
    tag.writable = writable;
    return tag;
}

Payload parse(const QByteArray &bytes)
{
    Payload payload;
    if (!payload.ParseFromArray(bytes.constData(), bytes.size()))
        qFatal("the payload does not parse");
    return payload;
}

// A metric's value field as text: "int 4294967295", "bytes d08a3075",
// "null" ; with its properties as "key=value".
QByteArray valueText(const Metric &metric)
{
    QByteArray text;
    switch (metric.value_case()) {
    case Metric::kIntValue: text = "int " + QByteArray::number(metric.int_value()); break;
    case Metric::kLongValue: text = "long " + QByteArray::number(qulonglong(metric.long_value())); break;
    case Metric::kFloatValue: text = "float " + QByteArray::number(metric.float_value()); break;
    case Metric::kDoubleValue: text = "double " + QByteArray::number(metric.double_value(), 'g', 17); break;
    case Metric::kBooleanValue: text = metric.boolean_value() ? "bool true" : "bool false"; break;
    case Metric::kBytesValue:
        text = "bytes " + QByteArray::fromStdString(metric.bytes_value()).toHex();
        break;
    case Metric::VALUE_NOT_SET: text = metric.is_null() ? "null" : "none"; break;
    default: text = "other"; break;
    }
    const Payload::PropertySet &set = metric.properties();
    for (int index = 0; index < set.keys_size(); ++index) {
        const Payload::PropertyValue &value = set.values(index);
        text += " " + QByteArray::fromStdString(set.keys(index)) + "=" + QByteArray::number(value.type()) + ":";
        text += value.value_case() == Payload::PropertyValue::kIntValue
                    ? QByteArray::number(value.int_value())
                    : QByteArray::fromStdString(value.string_value());
    }
    return text;
}

QList<Sparkplug::TagState> deviceTags()
{
    return {
        {tag("speed", Type::Int16), 10, {list<short>({-5}), 0, {}, 1000}},
        {tag("flags", Type::Bool, 3), 11, {list<bool>({true, false, true}), 0, {}, 1000}},
        {tag("total", Type::UInt64), 12, {list<quint64>({1}), 0, {}, 1000}},
        {tag("temp", Type::Float, 1, false), 13, {list<float>({1.5f}), 0, {}, 1000}},
        {tag("gain", Type::Double, 2), 14, {list<double>({0.5, -2}), 0, {}, 1000}},
        {tag("mode", Type::Int8), 15, {list<char>({char(-1)}), 0, {}, 1000}},
        {tag("zero", Type::Int16), 0, {list<short>({0}), 0, {}, 1000}}, // a metric without an alias is not it
    };
}

} // namespace

class TestSparkplug : public QObject
{
    Q_OBJECT

private slots:
    void dataTypes_data();
    void dataTypes();
    void topics();
    void sequences();
    void birthDeathFile();
    void metrics_data();
    void metrics();
    void nodePayloads();
    void devicePayloads();
    void rebirth_data();
    void rebirth();
    void commands_data();
    void commands();
};

void TestSparkplug::dataTypes_data()
{
    addColumns<Type, uint, uint>("type", "scalar", "array");
    // The schema's numbers, not the generated enum: a wrong enum would pass.
    QTest::newRow("bool") << Type::Bool << 11u << 32u;
    QTest::newRow("int8") << Type::Int8 << 1u << 22u;
    QTest::newRow("uint8") << Type::UInt8 << 5u << 26u;
    QTest::newRow("int16") << Type::Int16 << 2u << 23u;
    QTest::newRow("uint16") << Type::UInt16 << 6u << 27u;
    QTest::newRow("int32") << Type::Int32 << 3u << 24u;
    QTest::newRow("uint32") << Type::UInt32 << 7u << 28u;
    QTest::newRow("float") << Type::Float << 9u << 30u;
    QTest::newRow("int64") << Type::Int64 << 4u << 25u;
    QTest::newRow("uint64") << Type::UInt64 << 8u << 29u;
    QTest::newRow("double") << Type::Double << 10u << 31u;
}

void TestSparkplug::dataTypes()
{
    QFETCH(Type, type);
    QFETCH(uint, scalar);
    QFETCH(uint, array);
    QCOMPARE(Sparkplug::dataType(type, 1), scalar);
    QCOMPARE(Sparkplug::dataType(type, 2), array);
    QCOMPARE(Sparkplug::dataType(type, 100), array);
}

void TestSparkplug::topics()
{
    using M = Sparkplug::MessageType;
    QCOMPARE(Sparkplug::topic("plant", M::NBIRTH, "edge1"), QString("spBv1.0/plant/NBIRTH/edge1"));
    QCOMPARE(Sparkplug::topic("plant", M::NDEATH, "edge1"), QString("spBv1.0/plant/NDEATH/edge1"));
    QCOMPARE(Sparkplug::topic("plant", M::NCMD, "edge1"), QString("spBv1.0/plant/NCMD/edge1"));
    QCOMPARE(Sparkplug::topic("plant", M::DBIRTH, "edge1", "press"), QString("spBv1.0/plant/DBIRTH/edge1/press"));
    QCOMPARE(Sparkplug::topic("plant", M::DDATA, "edge1", "press"), QString("spBv1.0/plant/DDATA/edge1/press"));
    QCOMPARE(Sparkplug::topic("plant", M::DDEATH, "edge1", "press"), QString("spBv1.0/plant/DDEATH/edge1/press"));
    QCOMPARE(Sparkplug::topic("plant", M::DCMD, "edge1", "press"), QString("spBv1.0/plant/DCMD/edge1/press"));
}

void TestSparkplug::sequences()
{
    Sparkplug::SequenceCounter counter;
    QCOMPARE(counter.birth(), quint64(0));
    for (quint64 expected = 1; expected <= 255; ++expected)
        QCOMPARE(counter.next(), expected);
    QCOMPARE(counter.next(), quint64(0)); // 255 -> 0
    QCOMPARE(counter.next(), quint64(1));
    QCOMPARE(counter.birth(), quint64(0)); // a rebirth starts again
    QCOMPARE(counter.next(), quint64(1));

    Sparkplug::BirthDeathSequence fresh;
    QCOMPARE(fresh.advance(), quint64(0));
    QCOMPARE(fresh.advance(), quint64(1));
    Sparkplug::BirthDeathSequence last(255);
    QCOMPARE(last.advance(), quint64(0));
    Sparkplug::BirthDeathSequence saved(41);
    QCOMPARE(saved.current(), quint64(41));
    QCOMPARE(saved.advance(), quint64(42));
}

void TestSparkplug::birthDeathFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("bdseq");
    QCOMPARE(Sparkplug::loadBirthDeath(path), quint64(255)); // none yet: the first connection takes 0
    QString error;
    QVERIFY(Sparkplug::saveBirthDeath(path, 7, &error));
    QCOMPARE(Sparkplug::loadBirthDeath(path), quint64(7));
    for (const QByteArray &bad : {QByteArray("256\n"), QByteArray("x"), QByteArray(""), QByteArray("-1")}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bad);
        file.close();
        QCOMPARE(Sparkplug::loadBirthDeath(path), quint64(255));
    }
    QVERIFY(!Sparkplug::saveBirthDeath(dir.filePath("no/such/folder/bdseq"), 1, &error));
    QVERIFY(!error.isEmpty());
}

void TestSparkplug::metrics_data()
{
    using F = std::numeric_limits<float>;
    addColumns<Type, int, QVariant, int, uint, QByteArray>("type", "count", "value", "status", "datatype", "field");
    QTest::newRow("bool") << Type::Bool << 1 << list<bool>({true}) << 0 << 11u << QByteArray("bool true");
    // Signed integers sign-extended into the 32-bit field.
    QTest::newRow("int8 -1") << Type::Int8 << 1 << list<char>({char(-1)}) << 0 << 1u << QByteArray("int 4294967295");
    QTest::newRow("uint8") << Type::UInt8 << 1 << list<quint8>({250}) << 0 << 5u << QByteArray("int 250");
    QTest::newRow("int16 -2") << Type::Int16 << 1 << list<short>({-2}) << 0 << 2u << QByteArray("int 4294967294");
    QTest::newRow("uint16") << Type::UInt16 << 1 << list<quint16>({65535}) << 0 << 6u << QByteArray("int 65535");
    QTest::newRow("int32") << Type::Int32 << 1 << list<int>({-2147483647 - 1}) << 0 << 3u << QByteArray("int 2147483648");
    QTest::newRow("uint32 in int_value") << Type::UInt32 << 1 << list<quint32>({4294967295u}) << 0 << 7u
                                         << QByteArray("int 4294967295");
    QTest::newRow("float") << Type::Float << 1 << list<float>({1.5f}) << 0 << 9u << QByteArray("float 1.5");
    QTest::newRow("int64") << Type::Int64 << 1 << list<qint64>({-1}) << 0 << 4u << QByteArray("long 18446744073709551615");
    QTest::newRow("uint64") << Type::UInt64 << 1 << list<quint64>({18446744073709551615ull}) << 0 << 8u
                            << QByteArray("long 18446744073709551615");
    QTest::newRow("double") << Type::Double << 1 << list<double>({0.1}) << 0 << 10u
                            << QByteArray("double 0.10000000000000001");
    QTest::newRow("first of a longer list") << Type::Int16 << 1 << list<short>({7, 8}) << 0 << 2u << QByteArray("int 7");
    // Arrays: little-endian packed, as in the schema's own examples.
    QTest::newRow("int8 array") << Type::Int8 << 2 << list<char>({char(-23), 123}) << 0 << 22u << QByteArray("bytes e97b");
    QTest::newRow("int16 array") << Type::Int16 << 2 << list<short>({-30000, 30000}) << 0 << 23u
                                 << QByteArray("bytes d08a3075");
    QTest::newRow("int32 array") << Type::Int32 << 2 << list<int>({-1, 315338746}) << 0 << 24u
                                 << QByteArray("bytes fffffffffaafcb12");
    QTest::newRow("uint16 array") << Type::UInt16 << 2 << list<quint16>({30, 52360}) << 0 << 27u
                                  << QByteArray("bytes 1e0088cc");
    QTest::newRow("uint32 array") << Type::UInt32 << 2 << list<quint32>({52, 3293969225u}) << 0 << 28u
                                  << QByteArray("bytes 3400000049fb55c4");
    QTest::newRow("uint64 array") << Type::UInt64 << 2 << list<quint64>({52, 16444743074749521625ull}) << 0 << 29u
                                  << QByteArray("bytes 3400000000000000d99e02d1b27637e4");
    QTest::newRow("float array") << Type::Float << 2 << list<float>({1.0f, F::infinity()}) << 0 << 30u
                                 << QByteArray("bytes 0000803f0000807f");
    QTest::newRow("double array") << Type::Double << 2 << list<double>({1.0, -2.0}) << 0 << 31u
                                  << QByteArray("bytes 000000000000f03f00000000000000c0");
    QTest::newRow("bool array: count, then bits from the top")
        << Type::Bool << 12 << list<bool>({false, false, true, true, false, true, false, false, true, true, false, true})
        << 0 << 32u << QByteArray("bytes 0c00000034d0");
    QTest::newRow("bool array of 8") << Type::Bool << 8 << list<bool>({true, false, false, false, false, false, false, true})
                                     << 0 << 32u << QByteArray("bytes 0800000081");
    // No value is ever made up: failed reads and unusable values are null.
    QTest::newRow("failed read") << Type::Int16 << 1 << list<short>({99}) << 4 << 2u
                                 << QByteArray("null Quality=3:0 reason=12:timeout");
    QTest::newRow("wrong list type") << Type::Int16 << 1 << list<int>({1}) << 0 << 2u
                                     << QByteArray("null Quality=3:0 reason=12:the read gave no int16 x 1 value");
    QTest::newRow("too few elements") << Type::Int16 << 3 << list<short>({1, 2}) << 0 << 23u
                                      << QByteArray("null Quality=3:0 reason=12:the read gave no int16 x 3 value");
    QTest::newRow("not read yet") << Type::Bool << 1 << QVariant() << 0 << 11u
                                  << QByteArray("null Quality=3:0 reason=12:not read yet");
}

void TestSparkplug::metrics()
{
    QFETCH(Type, type);
    QFETCH(int, count);
    QFETCH(QVariant, value);
    QFETCH(int, status);
    QFETCH(uint, datatype);
    QFETCH(QByteArray, field);
    Sparkplug::Reading reading{value, status, status ? QStringLiteral("timeout") : QString(), 1700000000123};
    const Metric metric = Sparkplug::metric(tag("t", type, count), 42, reading, true);
    QCOMPARE(QByteArray::fromStdString(metric.name()), QByteArray("t"));
    QCOMPARE(metric.alias(), quint64(42));
    QCOMPARE(metric.timestamp(), quint64(1700000000123));
    QCOMPARE(metric.datatype(), datatype);
    QCOMPARE(valueText(metric), field);
    QCOMPARE(metric.is_null(), field.startsWith("null"));
}

void TestSparkplug::nodePayloads()
{
    Metric health;
    health.set_name("Node/Links up");
    health.set_datatype(3);
    health.set_int_value(2);
    const Payload birth = parse(Sparkplug::nodeBirth(1700000000000, 17, {health}));
    QCOMPARE(birth.timestamp(), quint64(1700000000000));
    QVERIFY(birth.has_seq());
    QCOMPARE(birth.seq(), quint64(0));
    QCOMPARE(birth.metrics_size(), 3);
    QCOMPARE(birth.metrics(0).name(), std::string("bdSeq"));
    QCOMPARE(birth.metrics(0).datatype(), 8u);
    QCOMPARE(valueText(birth.metrics(0)), QByteArray("long 17"));
    QCOMPARE(birth.metrics(1).name(), std::string("Node Control/Rebirth"));
    QCOMPARE(birth.metrics(1).datatype(), 11u);
    QCOMPARE(valueText(birth.metrics(1)), QByteArray("bool false"));
    QCOMPARE(birth.metrics(0).timestamp(), quint64(1700000000000));
    QCOMPARE(birth.metrics(2).name(), std::string("Node/Links up"));
    QCOMPARE(valueText(birth.metrics(2)), QByteArray("int 2"));

    const Payload death = parse(Sparkplug::nodeDeath(1700000000001, 17));
    QVERIFY(!death.has_seq()); // NDEATH alone carries no seq
    QCOMPARE(death.metrics_size(), 1);
    QCOMPARE(death.metrics(0).name(), std::string("bdSeq"));
    QCOMPARE(death.metrics(0).datatype(), 8u);
    QCOMPARE(valueText(death.metrics(0)), QByteArray("long 17"));
}

void TestSparkplug::devicePayloads()
{
    QList<Sparkplug::TagState> tags = deviceTags();
    tags[2].reading = {QVariant(), 3, QStringLiteral("no answer"), 999};
    tags[3].reading = {};
    const Payload birth = parse(Sparkplug::deviceBirth(2000, 1, tags));
    QCOMPARE(birth.seq(), quint64(1));
    QCOMPARE(birth.timestamp(), quint64(2000));
    QCOMPARE(birth.metrics_size(), tags.size());
    for (int index = 0; index < tags.size(); ++index) {
        const Metric &metric = birth.metrics(index);
        QCOMPARE(QString::fromStdString(metric.name()), tags.at(index).tag.name);
        QCOMPARE(metric.alias(), tags.at(index).alias);
        QCOMPARE(metric.datatype(), Sparkplug::dataType(tags.at(index).tag.type, tags.at(index).tag.count));
    }
    QCOMPARE(valueText(birth.metrics(0)), QByteArray("int 4294967291"));
    QCOMPARE(valueText(birth.metrics(1)), QByteArray("bytes 03000000a0"));
    QCOMPARE(valueText(birth.metrics(2)), QByteArray("null Quality=3:0 reason=12:no answer"));
    QCOMPARE(birth.metrics(2).timestamp(), quint64(999));
    QCOMPARE(valueText(birth.metrics(3)), QByteArray("null Quality=3:0 reason=12:not read yet"));
    QCOMPARE(birth.metrics(3).timestamp(), quint64(2000));

    const Payload data = parse(Sparkplug::deviceData(3000, 2, {tags.at(0), tags.at(4)}));
    QCOMPARE(data.seq(), quint64(2));
    QCOMPARE(data.metrics_size(), 2);
    QVERIFY(!data.metrics(0).has_name()); // by alias only
    QCOMPARE(data.metrics(0).alias(), quint64(10));
    QCOMPARE(data.metrics(0).timestamp(), quint64(1000));
    QCOMPARE(valueText(data.metrics(1)), QByteArray("bytes 000000000000e03f00000000000000c0"));

    const Payload death = parse(Sparkplug::deviceDeath(4000, 3));
    QCOMPARE(death.seq(), quint64(3));
    QCOMPARE(death.metrics_size(), 0);
}

void TestSparkplug::rebirth_data()
{
    addColumns<QByteArray, bool>("payload", "rebirth");
    auto command = [](const char *name, bool value, bool asBool) {
        Payload payload;
        Metric *metric = payload.add_metrics();
        metric->set_name(name);
        metric->set_datatype(11);
        if (asBool)
            metric->set_boolean_value(value);
        else
            metric->set_int_value(1);
        return QByteArray::fromStdString(payload.SerializeAsString());
    };
    QTest::newRow("rebirth true") << command("Node Control/Rebirth", true, true) << true;
    QTest::newRow("rebirth false") << command("Node Control/Rebirth", false, true) << false;
    QTest::newRow("not a boolean") << command("Node Control/Rebirth", true, false) << false;
    QTest::newRow("another metric") << command("Node Control/Reboot", true, true) << false;
    QTest::newRow("no payload") << QByteArray("\xff\xff\xff", 3) << false;
}

void TestSparkplug::rebirth()
{
    QFETCH(QByteArray, payload);
    QFETCH(bool, rebirth);
    QCOMPARE(Sparkplug::rebirthRequested(payload), rebirth);
}

void TestSparkplug::commands_data()
{
    // Each row: one metric of a DCMD, and the write (tag index and JSON
    // values) or the refusal's reason it makes.
    addColumns<QByteArray, int, QByteArray, QByteArray>("metric", "tag", "values", "refusal");
    auto encode = [](const std::function<void(Metric *)> &fill) {
        Metric metric;
        fill(&metric);
        return QByteArray::fromStdString(metric.SerializeAsString());
    };
    QTest::newRow("int16 by name") << encode([](Metric *m) {
        m->set_name("speed");
        m->set_datatype(2);
        m->set_int_value(quint32(-300));
    }) << 0 << QByteArray("[-300]") << QByteArray();
    QTest::newRow("int16 by alias, no datatype") << encode([](Metric *m) {
        m->set_alias(10);
        m->set_int_value(7);
    }) << 0 << QByteArray("[7]") << QByteArray();
    QTest::newRow("int8 as its own pattern") << encode([](Metric *m) {
        m->set_alias(15);
        m->set_int_value(0x80);
    }) << 5 << QByteArray("[-128]") << QByteArray();
    QTest::newRow("int8 out of range goes on to the range check") << encode([](Metric *m) {
        m->set_alias(15);
        m->set_int_value(0x1ff);
    }) << 5 << QByteArray("[511]") << QByteArray();
    QTest::newRow("bool array") << encode([](Metric *m) {
        m->set_alias(11);
        m->set_datatype(32);
        m->set_bytes_value(std::string("\x03\0\0\0\x60", 5));
    }) << 1 << QByteArray("[false,true,true]") << QByteArray();
    QTest::newRow("uint64 past 2^53 as text") << encode([](Metric *m) {
        m->set_name("total");
        m->set_long_value(18446744073709551615ull);
    }) << 2 << QByteArray("[\"18446744073709551615\"]") << QByteArray();
    QTest::newRow("uint64 at 2^53 as text") << encode([](Metric *m) {
        m->set_name("total");
        m->set_long_value(9007199254740992ull);
    }) << 2 << QByteArray("[\"9007199254740992\"]") << QByteArray();
    QTest::newRow("uint64 below 2^53 as a number") << encode([](Metric *m) {
        m->set_name("total");
        m->set_long_value(9007199254740991ull);
    }) << 2 << QByteArray("[9007199254740991]") << QByteArray();
    QTest::newRow("double array with nan") << encode([](Metric *m) {
        m->set_alias(14);
        const double values[] = {std::numeric_limits<double>::quiet_NaN(), -0.25};
        m->set_bytes_value(std::string(reinterpret_cast<const char *>(values), sizeof values));
    }) << 4 << QByteArray("[\"nan\",-0.25]") << QByteArray();
    // A double's whole numbers go on past 2^53, as JSON numbers.
    QTest::newRow("double array past 2^53") << encode([](Metric *m) {
        m->set_alias(14);
        const double values[] = {1e20, -3e19};
        m->set_bytes_value(std::string(reinterpret_cast<const char *>(values), sizeof values));
    }) << 4 << QByteArray("[1e+20,-3e+19]") << QByteArray();
    QTest::newRow("unknown name") << encode([](Metric *m) {
        m->set_name("nothing");
        m->set_int_value(1);
    }) << -1 << QByteArray() << QByteArray("nothing: no such metric");
    QTest::newRow("empty name") << encode([](Metric *m) {
        m->set_name("");
        m->set_int_value(1);
    }) << -1 << QByteArray() << QByteArray("\"\": no such metric");
    QTest::newRow("unknown alias") << encode([](Metric *m) {
        m->set_alias(99);
        m->set_int_value(1);
    }) << -1 << QByteArray() << QByteArray("alias 99: no such metric");
    QTest::newRow("not writable") << encode([](Metric *m) {
        m->set_alias(13);
        m->set_float_value(1);
    }) << -1 << QByteArray() << QByteArray("alias 13: the tag is not writable");
    QTest::newRow("wrong datatype") << encode([](Metric *m) {
        m->set_alias(10);
        m->set_datatype(3);
        m->set_int_value(1);
    }) << -1 << QByteArray() << QByteArray("alias 10: datatype 3 does not match the tag's 2 (int16 x 1)");
    QTest::newRow("wrong field") << encode([](Metric *m) {
        m->set_alias(10);
        m->set_long_value(1);
    }) << -1 << QByteArray() << QByteArray("alias 10: the value is not in the field of int16");
    QTest::newRow("array too short") << encode([](Metric *m) {
        m->set_alias(14);
        m->set_bytes_value(std::string(8, '\0'));
    }) << -1 << QByteArray() << QByteArray("alias 14: the bytes are not 2 double values");
    QTest::newRow("bool array count mismatch") << encode([](Metric *m) {
        m->set_alias(11);
        m->set_bytes_value(std::string("\x04\0\0\0\x60", 5));
    }) << -1 << QByteArray() << QByteArray("alias 11: the bytes are not 3 bool values");
    QTest::newRow("array as a scalar") << encode([](Metric *m) {
        m->set_alias(11);
        m->set_boolean_value(true);
    }) << -1 << QByteArray() << QByteArray("alias 11: an array is written as bytes");
    QTest::newRow("neither name nor alias") << encode([](Metric *m) {
        m->set_int_value(1);
    }) << -1 << QByteArray() << QByteArray("(unnamed): neither a name nor an alias");
    QTest::newRow("null") << encode([](Metric *m) {
        m->set_alias(10);
        m->set_is_null(true);
    }) << -1 << QByteArray() << QByteArray("alias 10: a null value cannot be written");
}

void TestSparkplug::commands()
{
    QFETCH(QByteArray, metric);
    QFETCH(int, tag);
    QFETCH(QByteArray, values);
    QFETCH(QByteArray, refusal);
    Payload payload;
    QVERIFY(payload.add_metrics()->ParseFromArray(metric.constData(), metric.size()));
    QList<Sparkplug::Write> writes;
    QList<Sparkplug::Refusal> refusals;
    QVERIFY(Sparkplug::deviceCommand(QByteArray::fromStdString(payload.SerializeAsString()), deviceTags(), &writes,
                                     &refusals));
    QCOMPARE(writes.size() + refusals.size(), 1);
    if (tag >= 0) {
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes.first().tag, tag);
        QCOMPARE(QJsonDocument(writes.first().values).toJson(QJsonDocument::Compact), values);
        // The daemon's write path takes them, or refuses what is out of range.
        const TagFile::Tag target = deviceTags().at(tag).tag;
        QStringList texts;
        QVariant list;
        QCOMPARE(ValueText::textsFromJson(ValueText::dataType(target.type), writes.first().values, &texts), QString());
        const QString check = ValueText::parseValues(ValueText::dataType(target.type), texts, &list);
        QCOMPARE(check.isEmpty(), QTest::currentDataTag() != QByteArray("int8 out of range goes on to the range check"));
    } else {
        QCOMPARE(refusals.size(), 1);
        QCOMPARE(QString(refusals.first().metric + ": " + refusals.first().reason), QString(refusal));
    }
}

QTEST_GUILESS_MAIN(TestSparkplug)
#include "tst_sparkplug.moc"
