// SPDX-License-Identifier: LGPL-2.1-or-later
// Writing labels against a scripted PLC: frames as the PLC sees them,
// write -> read round trips, status codes and what comes back to the host.

#include "PlcBench.h"

#include "Extremes.h"
#include "TestTable.h"

#include <QtTest/QtTest>

#include <limits>

Q_DECLARE_METATYPE(DataType)

namespace {

template <typename T>
CLabelVariable recordOf(const QList<T> &values)
{
    CLabelVariable record;
    record.value = QVariant::fromValue(values);
    return record;
}

// A host record with fields of its own that a write must hand back untouched.
CLabelVariable hostRecord(const QVariant &value)
{
    CLabelVariable record;
    record.value = value;
    record.accessError = 10;
    record.auxValue = 7;
    record.auxText = QStringLiteral("host");
    record.timestamp = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5));
    return record;
}

// Writes the extremes of T to D200.. and reads them back.
template <typename T>
void checkRoundTrip(PlcBench &bench, DataType type)
{
    QList<T> values = extremes<T>();
    if (values.size() % 2 != 0) // 8-bit values are written in pairs
        values.append(T(42));
    const CLabelVariable written
        = bench.driver.WriteVariable("D200", type, recordOf(values), values.size());
    QCOMPARE(written.status, 0);
    const CLabelVariable read = bench.driver.ReadVariable("D200", type, values.size());
    QCOMPARE(read.status, 0);
    QCOMPARE(read.value.value<QList<T>>(), values);
}

} // namespace

class TestWritePath : public QObject
{
    Q_OBJECT
private slots:
    void framesCarryLowWordFirst();
    void roundTripEveryType();
    void threeArgumentFormWritesOneValue();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void outcomesOfTheExchange();
    void writeOverSerialLine();
};

void TestWritePath::framesCarryLowWordFirst()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());

    QCOMPARE(bench.driver.WriteVariable("D100", DT_Int16, recordOf(QList<short>{0x1234}), 1).status, 0);
    QCOMPARE(bench.driver.WriteVariable("D100", DT_Int32, recordOf(QList<int>{0x12345678}), 1).status, 0);
    QCOMPARE(bench.driver.WriteVariable("D100", DT_Int64,
                                        recordOf(QList<qint64>{0x0123456789ABCDEF}), 1).status, 0);
    QCOMPARE(bench.driver.WriteVariable("D100", DT_Float, recordOf(QList<float>{1.0f}), 1).status, 0);
    QCOMPARE(bench.driver.WriteVariable("D100", DT_Int8,
                                        recordOf(QList<char>{0x12, 0x34, 0x56, 0x78}), 2).status, 0);
    QCOMPARE(bench.driver.WriteVariable("M16", DT_Int16, recordOf(QList<short>{-1}), 1).status, 0);

    const QList<SimRequest> sent = bench.requests();
    QCOMPARE(sent.size(), 6);
    for (const SimRequest &r : sent) {
        QCOMPARE(r.error, SimErrorCode::none);
        QCOMPARE(r.station, 1);
        QCOMPARE(r.command, QByteArray("47"));
    }
    QCOMPARE(sent[0].area, SimArea::D);
    QCOMPARE(sent[0].start, 100);
    QCOMPARE(sent[0].count, 1);
    QCOMPARE(sent[0].values, QVector<quint16>{0x1234});
    QCOMPARE(sent[1].count, 2);
    QCOMPARE(sent[1].values, (QVector<quint16>{0x5678, 0x1234}));
    QCOMPARE(sent[2].count, 4);
    QCOMPARE(sent[2].values, (QVector<quint16>{0xCDEF, 0x89AB, 0x4567, 0x0123}));
    QCOMPARE(sent[3].values, (QVector<quint16>{0x0000, 0x3F80}));
    QCOMPARE(sent[4].count, 1);
    QCOMPARE(sent[4].values, QVector<quint16>{0x1234});
    QCOMPARE(sent[5].area, SimArea::WM);
    QCOMPARE(sent[5].start, 16);
    QCOMPARE(sent[5].values, QVector<quint16>{0xFFFF});
}

void TestWritePath::roundTripEveryType()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    checkRoundTrip<char>(bench, DT_Int8);
    checkRoundTrip<unsigned char>(bench, DT_UInt8);
    checkRoundTrip<short>(bench, DT_Int16);
    checkRoundTrip<unsigned short>(bench, DT_UInt16);
    checkRoundTrip<int>(bench, DT_Int32);
    checkRoundTrip<unsigned int>(bench, DT_UInt32);
    checkRoundTrip<float>(bench, DT_Float);
    checkRoundTrip<qint64>(bench, DT_Int64);
    checkRoundTrip<quint64>(bench, DT_UInt64);
    checkRoundTrip<double>(bench, DT_Double);

    // Words written to the input area read back bit by bit (the word at
    // X32 holds X32..X47).
    QCOMPARE(bench.driver.WriteVariable("X32", DT_Int32, recordOf(QList<int>{-123456}), 1).status, 0);
    QCOMPARE(bench.driver.ReadVariable("X32", DT_Int32, 1).value.value<QList<int>>(),
             QList<int>{-123456});
}

void TestWritePath::threeArgumentFormWritesOneValue()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    const CLabelVariable three
        = bench.driver.WriteVariable("D5", DT_UInt16, recordOf(QList<unsigned short>{9, 8}));
    QCOMPARE(three.status, 0);
    QCOMPARE(three.count, 1);
    QCOMPARE(bench.memory.value(SimArea::D, 5), quint16(9));
    QCOMPARE(bench.memory.value(SimArea::D, 6), quint16(0));
    QCOMPARE(bench.requests().value(0).count, 1);
}

void TestWritePath::refusalsSendNothing_data()
{
    addColumns<QString, DataType, QVariant, int, int>("label", "type", "value", "count", "status");

    const QVariant shorts = QVariant::fromValue(QList<short>{1, 2, 3});
    const QVariant bytes = QVariant::fromValue(QList<char>{1, 2, 3});
    QTest::newRow("no area") << "Q5" << DT_Int16 << shorts << 1 << 3;
    QTest::newRow("no area before count") << "Q5" << DT_Int16 << shorts << 0 << 3;
    QTest::newRow("no digit") << "D" << DT_Int16 << shorts << 1 << 3;
    QTest::newRow("five digits") << "D12345" << DT_Int16 << shorts << 1 << 3;
    QTest::newRow("count 0") << "D100" << DT_Int16 << shorts << 0 << 4;
    QTest::newRow("count 65536") << "D100" << DT_Int16 << shorts << 65536 << 5;
    QTest::newRow("count before type") << "D100" << DT_None << shorts << 65536 << 5;
    QTest::newRow("type none") << "D100" << DT_None << shorts << 1 << 2;
    QTest::newRow("bool") << "D100" << DT_Bool << QVariant::fromValue(QList<bool>{true}) << 1 << 2;
    QTest::newRow("text") << "D100" << DT_QString << QVariant::fromValue(QStringList{"a"}) << 1 << 2;
    QTest::newRow("variant type") << "D100" << DT_Int16_V1 << shorts << 1 << 2;
    QTest::newRow("unknown type") << "D100" << DataType(30) << shorts << 1 << 2;
    // Two 8-bit values share a register.
    QTest::newRow("one byte") << "D100" << DT_Int8 << bytes << 1 << 4;
    QTest::newRow("three bytes") << "D100" << DT_UInt8
                                 << QVariant::fromValue(QList<unsigned char>{1, 2, 3}) << 3 << 4;
    // More registers than a frame's count field holds.
    QTest::newRow("256 registers") << "D0" << DT_Int16 << shorts << 256 << 5;
    QTest::newRow("64 doubles") << "D0" << DT_Double << shorts << 64 << 5;
    QTest::newRow("65535 values") << "D0" << DT_Int16 << shorts << 65535 << 5;
    // The value must hold the type's list, with enough elements.
    QTest::newRow("wrong list type") << "D100" << DT_Int16 << QVariant::fromValue(QList<int>{1}) << 1 << 2;
    QTest::newRow("no value") << "D100" << DT_Int32 << QVariant() << 1 << 2;
    QTest::newRow("bare scalar") << "D100" << DT_Int16 << QVariant(short(5)) << 1 << 2;
    QTest::newRow("too few") << "D100" << DT_Int16 << shorts << 4 << 4;
    QTest::newRow("empty list") << "D100" << DT_Float << QVariant::fromValue(QList<float>{}) << 1 << 4;
}

void TestWritePath::refusalsSendNothing()
{
    QFETCH(QString, label);
    QFETCH(DataType, type);
    QFETCH(QVariant, value);
    QFETCH(int, count);
    QFETCH(int, status);

    PlcBench bench;
    QVERIFY(bench.connectTcp());
    const CLabelVariable host = hostRecord(value);
    const CLabelVariable r = bench.driver.WriteVariable(label, type, host, count);

    QCOMPARE(r.status, status);
    QCOMPARE(r.address, label);
    QCOMPARE(r.type, type);
    QCOMPARE(r.count, count);
    QCOMPARE(r.timestamp, host.timestamp);
    QCOMPARE(r.value, host.value);
    QCOMPARE(r.accessError, 10);
    QCOMPARE(r.auxValue, 7);
    QCOMPARE(r.auxText, QString("host"));
    QVERIFY(bench.plc.requests().isEmpty());
}

void TestWritePath::outcomesOfTheExchange()
{
    const CLabelVariable host = hostRecord(QVariant::fromValue(QList<short>{5}));

    // Never connected: nothing sent, the host's time stamp stays.
    {
        LibNorvoTCP driver;
        const CLabelVariable r = driver.WriteVariable("D1", DT_Int16, host, 1);
        QCOMPARE(r.status, 9);
        QCOMPARE(r.timestamp, host.timestamp);
    }

    PlcBench bench;
    QVERIFY(bench.connectTcp());

    const QDateTime before = QDateTime::currentDateTime();
    CLabelVariable r = bench.driver.WriteVariable("D1", DT_Int16, host, 1);
    QCOMPARE(r.status, 0);
    QVERIFY(r.timestamp >= before);
    QCOMPARE(r.value, host.value);
    QCOMPARE(r.accessError, 10);
    QCOMPARE(r.auxValue, 7);
    QCOMPARE(r.auxText, QString("host"));
    QCOMPARE(bench.memory.value(SimArea::D, 1), quint16(5));

    // The PLC refuses the write.
    bench.plc.setResponder([](const QByteArray &frame) {
        return SimFrame::answer(SimFrame::parseRequest(frame), SimErrorCode::unknownArea);
    });
    r = bench.driver.WriteVariable("D1", DT_Int16, host, 1);
    QCOMPARE(r.status, 7);
    QCOMPARE(r.timestamp, host.timestamp);

    // No answer.
    bench.plc.setResponder([](const QByteArray &) { return QByteArray(); });
    r = bench.driver.WriteVariable("D1", DT_Int16, host, 1);
    QCOMPARE(r.status, 8);
    QCOMPARE(r.timestamp, host.timestamp);
    QCOMPARE(bench.plc.requests().size(), 3);
}

void TestWritePath::writeOverSerialLine()
{
    PlcBench bench;
    QVERIFY(bench.connectPty());
    bench.memory.setStation(3);
    QCOMPARE(bench.driver.SetConnectPar("3"), 3);
    const CLabelVariable r
        = bench.driver.WriteVariable("CTR12", DT_Double, recordOf(QList<double>{-2.5}), 1);
    QCOMPARE(r.status, 0);
    const SimRequest sent = bench.requests().value(0);
    QCOMPARE(sent.station, 3);
    QCOMPARE(sent.area, SimArea::RC);
    QCOMPARE(sent.start, 12);
    QCOMPARE(sent.values, (QVector<quint16>{0x0000, 0x0000, 0x0000, 0xC004}));
}

QTEST_GUILESS_MAIN(TestWritePath)
#include "tst_writepath.moc"
