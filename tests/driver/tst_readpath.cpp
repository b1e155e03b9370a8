// SPDX-License-Identifier: LGPL-2.1-or-later
// Reading labels against a scripted PLC: requests as the PLC sees them,
// decoded values, status codes and the record's fields.

#include "PlcBench.h"
#include "TestTable.h"

#include <QtTest/QtTest>

Q_DECLARE_METATYPE(DataType)

namespace {

// The fields every read fills the same way, whatever its outcome.
void checkEcho(const CLabelVariable &r, const QString &label, DataType type, int count)
{
    QCOMPARE(r.address, label);
    QCOMPARE(r.type, type);
    QCOMPARE(r.count, count);
    QCOMPARE(r.accessError, 1);
    QCOMPARE(r.auxValue, 0);
    QVERIFY(r.auxText.isEmpty());
}

} // namespace

class TestReadPath : public QObject
{
    Q_OBJECT
private slots:
    void registerReadDecodesLowWordFirst();
    void twoArgumentFormReadsOneValue();
    void signedValuesKeepTheirSign();
    void eightBitReadsReturnEveryElement();
    void flagsOnRegisterAreas();
    void bitAreas();
    void refusalsSendNothing_data();
    void refusalsSendNothing();
    void requestsThatFitOneFrameGoOut();
    void typeWithoutLayoutIsReadThenRefused();
    void linkFailures();
    void readOverSerialLine();
};

void TestReadPath::registerReadDecodesLowWordFirst()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    bench.memory.setValue(SimArea::D, 100, 0x1234);
    bench.memory.setValue(SimArea::D, 101, 0x5678);
    bench.memory.setValue(SimArea::D, 102, 0x0000);
    bench.memory.setValue(SimArea::D, 103, 0x3F80);

    const QDateTime before = QDateTime::currentDateTime();
    CLabelVariable r = bench.driver.ReadVariable("D100", DT_Int32, 2);
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(r.status, 0);
    checkEcho(r, "D100", DT_Int32, 2);
    QVERIFY(r.timestamp >= before && r.timestamp <= after);
    QCOMPARE(r.value.userType(), qMetaTypeId<QList<int>>());
    QCOMPARE(r.value.value<QList<int>>(), (QList<int>{0x56781234, 0x3F800000}));

    const QList<SimRequest> sent = bench.requests();
    QCOMPARE(sent.size(), 1);
    QCOMPARE(sent[0].error, SimErrorCode::none);
    QCOMPARE(sent[0].station, 1);
    QCOMPARE(sent[0].command, QByteArray("46"));
    QCOMPARE(sent[0].count, 4);
    QCOMPARE(sent[0].area, SimArea::D);
    QCOMPARE(sent[0].start, 100);

    // The same registers as other types.
    r = bench.driver.ReadVariable("D102", DT_Float, 1);
    QCOMPARE(r.value.value<QList<float>>(), QList<float>{1.0f});
    r = bench.driver.ReadVariable("D100", DT_UInt64, 1);
    QCOMPARE(r.value.value<QList<quint64>>(), QList<quint64>{0x3F80000056781234ull});
    r = bench.driver.ReadVariable("d100", DT_UInt16, 3);
    QCOMPARE(r.value.value<QList<unsigned short>>(),
             (QList<unsigned short>{0x1234, 0x5678, 0x0000}));

    // Timer and counter registers and R registers carry their own area characters.
    bench.plc.clearRequests();
    bench.driver.ReadVariable("TMR5", DT_Int16, 1);
    bench.driver.ReadVariable("DR7", DT_Int16, 1);
    const QList<SimRequest> areas = bench.requests();
    QCOMPARE(areas.size(), 2);
    QCOMPARE(areas[0].area, SimArea::RT);
    QCOMPARE(areas[0].start, 5);
    QCOMPARE(areas[1].area, SimArea::R);
    QCOMPARE(areas[1].start, 7);
}

void TestReadPath::twoArgumentFormReadsOneValue()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    bench.memory.setValue(SimArea::D, 7, 0xBEEF);

    const CLabelVariable r = bench.driver.ReadVariable("D7", DT_Int16);
    QCOMPARE(r.status, 0);
    checkEcho(r, "D7", DT_Int16, 1);
    QCOMPARE(r.value.userType(), qMetaTypeId<QList<short>>());
    QCOMPARE(r.value.value<QList<short>>(), QList<short>{short(0xBEEF)});
    QCOMPARE(bench.requests().value(0).count, 1);
}

void TestReadPath::signedValuesKeepTheirSign()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    for (int n = 0; n < 4; ++n)
        bench.memory.setValue(SimArea::D, n, 0xFFFF);
    bench.memory.setValue(SimArea::D, 0, 0xFFFE);

    QCOMPARE(bench.driver.ReadVariable("D0", DT_Int16, 1).value.value<QList<short>>(),
             QList<short>{-2});
    QCOMPARE(bench.driver.ReadVariable("D0", DT_Int32, 1).value.value<QList<int>>(),
             QList<int>{-2});
    QCOMPARE(bench.driver.ReadVariable("D0", DT_Int64, 1).value.value<QList<qint64>>(),
             QList<qint64>{-2});
    // Plain char is unsigned on the target: the byte pattern comes back as it is.
    QCOMPARE(bench.driver.ReadVariable("D0", DT_Int8, 2).value.value<QList<char>>(),
             (QList<char>{char(0xFF), char(0xFE)}));
}

void TestReadPath::eightBitReadsReturnEveryElement()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    bench.memory.setValue(SimArea::D, 10, 0x1234);
    bench.memory.setValue(SimArea::D, 11, 0x5678);

    // An odd count reads the register holding its last byte, high byte first.
    CLabelVariable r = bench.driver.ReadVariable("D10", DT_UInt8, 3);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<unsigned char>>(), (QList<unsigned char>{0x12, 0x34, 0x56}));
    QCOMPARE(r.count, 3);

    r = bench.driver.ReadVariable("D10", DT_Int8, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<char>>(), QList<char>{0x12});

    QCOMPARE(bench.requestCounts(), (QList<int>{2, 1}));
}

void TestReadPath::flagsOnRegisterAreas()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    bench.memory.setValue(SimArea::D, 0, 0x8001); // bits 0 and 15
    bench.memory.setValue(SimArea::D, 1, 0x0002); // bit 17 of the run

    const CLabelVariable r = bench.driver.ReadVariable("D0", DT_Bool, 18);
    QCOMPARE(r.status, 0);
    QList<bool> expected;
    for (int i = 0; i < 18; ++i)
        expected.append(i == 0 || i == 15 || i == 17);
    QCOMPARE(r.value.value<QList<bool>>(), expected);
    QCOMPARE(bench.requests().value(0).command, QByteArray("46"));
    QCOMPARE(bench.requests().value(0).count, 2);
}

void TestReadPath::bitAreas()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());

    // Flags: one bit each.
    for (int bit : {17, 19, 26})
        bench.memory.setBit(SimArea::X, bit, true);
    CLabelVariable r = bench.driver.ReadVariable("X17", DT_Bool, 10);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<bool>>(),
             (QList<bool>{true, false, true, false, false, false, false, false, false, true}));
    SimRequest sent = bench.requests().value(0);
    QCOMPARE(sent.command, QByteArray("44"));
    QCOMPARE(sent.count, 10);
    QCOMPARE(sent.area, SimArea::X);
    QCOMPARE(sent.start, 17);

    // Bytes: eight bits each, the lowest address the least significant bit.
    bench.plc.clearRequests();
    bench.memory.setBit(SimArea::Y, 0, true);
    bench.memory.setBit(SimArea::Y, 9, true);
    r = bench.driver.ReadVariable("Y0", DT_UInt8, 2);
    QCOMPARE(r.value.value<QList<unsigned char>>(), (QList<unsigned char>{1, 2}));
    sent = bench.requests().value(0);
    QCOMPARE(sent.count, 16);
    QCOMPARE(sent.area, SimArea::Y);

    // More than twenty bytes in one read.
    bench.memory.setBit(SimArea::Y, 8 * 24 + 7, true);
    r = bench.driver.ReadVariable("Y0", DT_UInt8, 25);
    QCOMPARE(r.status, 0);
    const QList<unsigned char> bytes = r.value.value<QList<unsigned char>>();
    QCOMPARE(bytes.size(), 25);
    QCOMPARE(int(bytes[24]), 0x80);

    // Wider values: width bits each, packed the same way.
    bench.plc.clearRequests();
    bench.memory.setValue(SimArea::WX, 32, 0x5678); // X32..X47
    bench.memory.setValue(SimArea::WX, 48, 0x1234); // X48..X63
    r = bench.driver.ReadVariable("X32", DT_Int32, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<int>>(), QList<int>{0x12345678});
    QCOMPARE(bench.requests().value(0).count, 32);
    r = bench.driver.ReadVariable("X32", DT_Int16, 2);
    QCOMPARE(r.value.value<QList<short>>(), (QList<short>{0x5678, 0x1234}));
}

void TestReadPath::refusalsSendNothing_data()
{
    addColumns<QString, DataType, int, int>("label", "type", "count", "status");

    QTest::newRow("no area") << "Q5" << DT_Int16 << 1 << 3;
    QTest::newRow("no area, count 0") << "Q5" << DT_Int16 << 0 << 3;
    QTest::newRow("no digit") << "D" << DT_Int16 << 1 << 3;
    QTest::newRow("five digits") << "D12345" << DT_Int16 << 1 << 3;
    QTest::newRow("count 0") << "D100" << DT_Int16 << 0 << 4;
    QTest::newRow("count -5") << "D100" << DT_Int16 << -5 << 4;
    QTest::newRow("count 0 before type") << "D100" << DT_None << 0 << 4;
    QTest::newRow("type none") << "D100" << DT_None << 1 << 2;
    // More units than a frame's count field holds.
    QTest::newRow("256 registers") << "D0" << DT_Int16 << 256 << 5;
    QTest::newRow("64 doubles") << "D0" << DT_Double << 64 << 5;
    QTest::newRow("512 bytes") << "D0" << DT_UInt8 << 512 << 5;
    QTest::newRow("256 bits") << "X0" << DT_Bool << 256 << 5;
    QTest::newRow("32 bytes of bits") << "Y0" << DT_Int8 << 32 << 5;
    QTest::newRow("4 int64 of bits") << "X0" << DT_Int64 << 4 << 5;
    QTest::newRow("absurd count") << "X0" << DT_Double << std::numeric_limits<int>::max() << 5;
}

void TestReadPath::refusalsSendNothing()
{
    QFETCH(QString, label);
    QFETCH(DataType, type);
    QFETCH(int, count);
    QFETCH(int, status);

    PlcBench bench;
    QVERIFY(bench.connectTcp());
    const QDateTime before = QDateTime::currentDateTime();
    const CLabelVariable r = bench.driver.ReadVariable(label, type, count);

    QCOMPARE(r.status, status);
    checkEcho(r, label, type, count);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timestamp >= before); // the time the request was refused
    QVERIFY(bench.plc.requests().isEmpty());
}

void TestReadPath::requestsThatFitOneFrameGoOut()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    CLabelVariable r = bench.driver.ReadVariable("D0", DT_Int16, 255);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<short>>().size(), 255);
    r = bench.driver.ReadVariable("Y0", DT_UInt8, 31);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<unsigned char>>().size(), 31);
    QCOMPARE(bench.requestCounts(), (QList<int>{255, 248}));
}

void TestReadPath::typeWithoutLayoutIsReadThenRefused()
{
    PlcBench bench;
    // A PLC that acknowledges a read of no register.
    bench.plc.setResponder([](const QByteArray &frame) {
        return SimFrame::answer(SimFrame::parseRequest(frame), SimErrorCode::none);
    });
    QVERIFY(bench.connectTcp());
    for (DataType type : {DT_QString, DT_Int32_V1}) {
        bench.plc.clearRequests();
        const QDateTime before = QDateTime::currentDateTime();
        const CLabelVariable r = bench.driver.ReadVariable("D100", type, 2);
        QCOMPARE(r.status, 2);
        checkEcho(r, "D100", type, 2);
        QVERIFY(!r.value.isValid());
        QVERIFY(r.timestamp >= before);
        // The exchange took place, for no register.
        QCOMPARE(bench.requestCounts(), QList<int>{0});
    }
}

void TestReadPath::linkFailures()
{
    // Never connected: nothing is sent, no time stamp.
    {
        LibNorvoTCP driver;
        const CLabelVariable r = driver.ReadVariable("D100", DT_Int16, 1);
        QCOMPARE(r.status, 9);
        checkEcho(r, "D100", DT_Int16, 1);
        QVERIFY(!r.value.isValid());
        QVERIFY(r.timestamp.isNull());
    }

    PlcBench bench;
    QVERIFY(bench.connectTcp());

    // An answer reporting an error, and one with a bad checksum.
    bench.plc.setResponder([](const QByteArray &frame) {
        return SimFrame::frame(SimFrame::hex(unsigned(SimFrame::parseRequest(frame).station), 2) + "462" "0001");
    });
    CLabelVariable r = bench.driver.ReadVariable("D0", DT_Int16, 1);
    QCOMPARE(r.status, 7);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timestamp.isNull());
    bench.plc.setResponder([](const QByteArray &frame) {
        QByteArray answer = SimFrame::answer(SimFrame::parseRequest(frame), SimErrorCode::none, "0001");
        answer[answer.size() - 2] = answer[answer.size() - 2] == '0' ? '1' : '0';
        return answer;
    });
    QCOMPARE(bench.driver.ReadVariable("X0", DT_Bool, 4).status, 7);

    // No answer.
    bench.plc.setResponder([](const QByteArray &) { return QByteArray(); });
    r = bench.driver.ReadVariable("D0", DT_Int16, 1);
    QCOMPARE(r.status, 8);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timestamp.isNull());
    QCOMPARE(bench.plc.requests().size(), 3);

    // The PLC goes away: the link is down until the host connects again.
    bench.plc.dropConnection();
    QTRY_COMPARE_WITH_TIMEOUT(bench.driver.cmd.Connection_status(), -3, 5000);
    QCOMPARE(bench.driver.ReadVariable("D0", DT_Int16, 1).status, 9);
    QCOMPARE(bench.plc.requests().size(), 3);
}

void TestReadPath::readOverSerialLine()
{
    PlcBench bench;
    QVERIFY(bench.connectPty());
    bench.memory.setValue(SimArea::R, 3, 0xCAFE);
    bench.memory.setValue(SimArea::R, 4, 0x0102);
    const CLabelVariable r = bench.driver.ReadVariable("R3", DT_UInt32, 1);
    QCOMPARE(r.status, 0);
    QCOMPARE(r.value.value<QList<unsigned int>>(), QList<unsigned int>{0x0102CAFEu});
    QCOMPARE(bench.requests().value(0).area, SimArea::R);
}

QTEST_GUILESS_MAIN(TestReadPath)
#include "tst_readpath.moc"
