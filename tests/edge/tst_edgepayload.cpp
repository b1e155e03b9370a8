// SPDX-License-Identifier: LGPL-2.1-or-later
// Sample payloads: each list the driver returns as JSON, exactly, and the
// payload around it; the seq numbers kept across restarts.

#include "TestTable.h"
#include "samplepayload.h"
#include "sequencefile.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include <limits>

namespace {

template<typename T>
QVariant list(std::initializer_list<T> values)
{
    return QVariant::fromValue(QList<T>(values));
}

// The value as JSON text; "undefined" for none.
QByteArray text(const QJsonValue &value)
{
    if (value.isUndefined())
        return "undefined";
    const QByteArray array = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

} // namespace

class TestEdgePayload : public QObject
{
    Q_OBJECT

private slots:
    void jsonValues_data();
    void jsonValues();
    void payloads_data();
    void payloads();
    void keptSequences_data();
    void keptSequences();
};

void TestEdgePayload::jsonValues_data()
{
    using F = std::numeric_limits<float>;
    using D = std::numeric_limits<double>;
    addColumns<QVariant, int, QByteArray>("list", "count", "json");
    QTest::newRow("bool") << list<bool>({true, false}) << 2 << QByteArray("[true,false]");
    QTest::newRow("one is no array") << list<bool>({true, false}) << 1 << QByteArray("true");
    // The record holds int8 in plain char, which is unsigned here.
    QTest::newRow("int8") << list<char>({char(0x80), 127, char(-1)}) << 3 << QByteArray("[-128,127,-1]");
    QTest::newRow("uint8") << list<unsigned char>({255, 0}) << 2 << QByteArray("[255,0]");
    QTest::newRow("int16") << list<short>({-32768, 32767}) << 2 << QByteArray("[-32768,32767]");
    QTest::newRow("uint16") << list<unsigned short>({65535}) << 1 << QByteArray("65535");
    QTest::newRow("int32") << list<int>({std::numeric_limits<int>::min()}) << 1 << QByteArray("-2147483648");
    QTest::newRow("uint32") << list<unsigned int>({4294967295u}) << 1 << QByteArray("4294967295");
    QTest::newRow("float shortest") << list<float>({0.1f, -1.5f, F::max(), F::denorm_min()}) << 4
                                    << QByteArray("[0.1,-1.5,3.4028235e+38,1e-45]");
    QTest::newRow("float nan, inf") << list<float>({F::quiet_NaN(), F::infinity(), -F::infinity()}) << 3
                                    << QByteArray("[\"nan\",\"inf\",\"-inf\"]");
    QTest::newRow("int64 past 2^53 as text")
        << list<qint64>({9007199254740991, -9007199254740991, 9007199254740992, std::numeric_limits<qint64>::min()})
        << 4 << QByteArray("[9007199254740991,-9007199254740991,\"9007199254740992\",\"-9223372036854775808\"]");
    QTest::newRow("uint64") << list<quint64>({~quint64(0), 9007199254740991}) << 2
                            << QByteArray("[\"18446744073709551615\",9007199254740991]");
    QTest::newRow("double") << list<double>({0.1, -2000, 1e300, D::quiet_NaN(), -D::infinity()}) << 5
                            << QByteArray("[0.1,-2000,1e+300,\"nan\",\"-inf\"]");
    QTest::newRow("the first count elements") << list<short>({1, 2, 3}) << 2 << QByteArray("[1,2]");
    QTest::newRow("too few elements") << list<int>({1, 2}) << 3 << QByteArray("undefined");
    QTest::newRow("count 0") << list<int>({1}) << 0 << QByteArray("undefined");
    QTest::newRow("no list") << QVariant(5) << 1 << QByteArray("undefined");
    QTest::newRow("a list of variants") << QVariant(QVariantList{1}) << 1 << QByteArray("undefined");
    QTest::newRow("nothing") << QVariant() << 1 << QByteArray("undefined");
}

void TestEdgePayload::jsonValues()
{
    QFETCH(QVariant, list);
    QFETCH(int, count);
    QFETCH(QByteArray, json);
    QCOMPARE(text(SamplePayload::jsonValue(list, count)), json);
}

void TestEdgePayload::payloads_data()
{
    addColumns<int, QJsonValue, QString, QDateTime, qint64, QByteArray>("status", "value", "reason", "time",
                                                                          "seq", "payload");
    const QDateTime time(QDate(2026, 12, 9), QTime(15, 4, 5, 123), Qt::UTC);
    QTest::newRow("good") << 0 << QJsonValue(21.5) << QString() << time << qint64(7)
                          << QByteArray(R"({"seq":7,"status":0,"time":"2026-12-09T15:04:05.123Z","value":21.5})");
    QTest::newRow("array, whole second, local time")
        << 0 << QJsonValue(QJsonArray{1, true}) << QString()
        << QDateTime(QDate(2026, 12, 9), QTime(16, 4, 5), Qt::OffsetFromUTC, 3600) << qint64(1)
        << QByteArray(R"({"seq":1,"status":0,"time":"2026-12-09T15:04:05.000Z","value":[1,true]})");
    QTest::newRow("failed") << 8 << QJsonValue(3) << QStringLiteral("no answer") << time << qint64(9)
                            << QByteArray(R"({"reason":"no answer","seq":9,"status":8,)"
                                          R"("time":"2026-12-09T15:04:05.123Z","value":null})");
    QTest::newRow("no value is null")
        << 0 << QJsonValue(QJsonValue::Undefined) << QString() << time << qint64(2)
        << QByteArray(R"({"seq":2,"status":0,"time":"2026-12-09T15:04:05.123Z","value":null})");
}

void TestEdgePayload::payloads()
{
    QFETCH(int, status);
    QFETCH(QJsonValue, value);
    QFETCH(QString, reason);
    QFETCH(QDateTime, time);
    QFETCH(qint64, seq);
    QFETCH(QByteArray, payload);
    QCOMPARE(SamplePayload::payload(Sample{status, value, reason}, time, seq), payload);
}

void TestEdgePayload::keptSequences_data()
{
    // The file's bytes; the seq numbers read, as name=seq in name order.
    addColumns<QByteArray, QStringList>("file", "kept");
    QTest::newRow("as saved") << SequenceFile::serialized({{"level", 12}, {"flow", 0}}) << QStringList{"flow=0", "level=12"};
    QTest::newRow("up to 2^53") << QByteArray(R"({"a": 9007199254740992, "b": 9007199254740994})")
                                << QStringList{"a=9007199254740992"};
    QTest::newRow("past any seq") << QByteArray(R"({"a": 1e300, "b": -1e300, "c": 3})") << QStringList{"c=3"};
    QTest::newRow("no whole number") << QByteArray(R"({"a": -1, "b": 2.5, "c": "7", "d": null, "e": [1]})")
                                     << QStringList();
    QTest::newRow("damaged") << QByteArray(R"({"a": 1, "b)") << QStringList();
    QTest::newRow("no object") << QByteArray("[1, 2]") << QStringList();
}

void TestEdgePayload::keptSequences()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, kept);
    const QHash<QString, qint64> read = SequenceFile::parse(file);
    QStringList found;
    for (auto it = read.begin(); it != read.end(); ++it)
        found << QStringLiteral("%1=%2").arg(it.key()).arg(it.value());
    found.sort();
    QCOMPARE(found, kept);
}

QTEST_GUILESS_MAIN(TestEdgePayload)
#include "tst_edgepayload.moc"
