// SPDX-License-Identifier: LGPL-2.1-or-later
// Label address texts: area selection, element number text, byte lengths.

#include "LibNorvoTCP.h"
#include "TestTable.h"
#include "labeladdress.h"
#include "requestplan.h"

#include <QtTest/QtTest>

#include <type_traits>

// The area values are what the link puts into frames: check them against
// the PLC's area characters once, here.
static_assert(LibNorvoTCP::Area_RT == 0x5254 && LibNorvoTCP::Area_RC == 0x5243
              && LibNorvoTCP::Area_R == 0x5230 && LibNorvoTCP::Area_D == 0x4430
              && LibNorvoTCP::Area_WX == 0x5758 && LibNorvoTCP::Area_WY == 0x5759
              && LibNorvoTCP::Area_WM == 0x574D && LibNorvoTCP::Area_WS == 0x5753
              && LibNorvoTCP::Area_WT == 0x5754 && LibNorvoTCP::Area_WC == 0x5743,
              "area codes");
// The driver names the link's areas as its own; it has no copy of them.
static_assert(std::is_same<LibNorvoTCP::AreaType, NorvoArea::AreaType>::value,
              "one definition of the areas");

using namespace LabelAddress;

class TestLabelAddress : public QObject
{
    Q_OBJECT
private slots:
    void areaAndNumber_data();
    void areaAndNumber();
    void digitsAppendToAccumulator();
    void byteLength_data();
    void byteLength();
    void readPlan_data();
    void readPlan();
    void writePlan_data();
    void writePlan();
};

void TestLabelAddress::areaAndNumber_data()
{
    addColumns<QString, int, QString>("label", "area", "number");

    QTest::newRow("D100") << "D100" << int(LibNorvoTCP::Area_D) << "0100";
    QTest::newRow("lower case") << "d100" << int(LibNorvoTCP::Area_D) << "0100";
    // Three-letter texts win over the single letters they contain.
    QTest::newRow("TMR5") << "TMR5" << int(LibNorvoTCP::Area_RT) << "0005";
    QTest::newRow("tmr5") << "tmr5" << int(LibNorvoTCP::Area_RT) << "0005";
    QTest::newRow("CTR12") << "CTR12" << int(LibNorvoTCP::Area_RC) << "0012";
    QTest::newRow("T alone") << "T3" << int(LibNorvoTCP::Area_WT) << "0003";
    QTest::newRow("C alone") << "C3" << int(LibNorvoTCP::Area_WC) << "0003";
    QTest::newRow("HR7") << "HR7" << int(LibNorvoTCP::Area_R) << "0007";
    QTest::newRow("R7") << "R7" << int(LibNorvoTCP::Area_R) << "0007";
    // "R" is tested before "D" and the discrete letters.
    QTest::newRow("DR7") << "DR7" << int(LibNorvoTCP::Area_R) << "0007";
    QTest::newRow("MR5") << "MR5" << int(LibNorvoTCP::Area_R) << "0005";
    QTest::newRow("SD1") << "SD1" << int(LibNorvoTCP::Area_D) << "0001";
    QTest::newRow("X17") << "X17" << int(LibNorvoTCP::Area_WX) << "0017";
    QTest::newRow("Y0") << "Y0" << int(LibNorvoTCP::Area_WY) << "0000";
    QTest::newRow("M0016") << "M0016" << int(LibNorvoTCP::Area_WM) << "0016";
    QTest::newRow("S9999") << "S9999" << int(LibNorvoTCP::Area_WS) << "9999";
    // The letters may stand anywhere; digits are collected across them.
    QTest::newRow("D1A2") << "D1A2" << int(LibNorvoTCP::Area_D) << "0012";
    QTest::newRow("digits first") << "12X" << int(LibNorvoTCP::Area_WX) << "0012";
    // No usable number although the area is known.
    QTest::newRow("D12345") << "D12345" << int(LibNorvoTCP::Area_D) << QString();
    QTest::newRow("D00100") << "D00100" << int(LibNorvoTCP::Area_D) << QString();
    QTest::newRow("D no digit") << "D" << int(LibNorvoTCP::Area_D) << QString();
    // Only ASCII digits count.
    QTest::newRow("D with arabic digit") << QString::fromUtf8("D\u0661") << int(LibNorvoTCP::Area_D)
                                         << QString();
    QTest::newRow("Q5") << "Q5" << int(LibNorvoTCP::Area_None) << QString();
    // Case folding outside ASCII: the long s is an s, so a step relay.
    QTest::newRow("long s") << QString::fromUtf8("\u017F5") << int(LibNorvoTCP::Area_WS) << "0005";
    QTest::newRow("TM, not TMR") << "TM5" << int(LibNorvoTCP::Area_WM) << "0005";
    QTest::newRow("empty") << "" << int(LibNorvoTCP::Area_None) << QString();
}

void TestLabelAddress::areaAndNumber()
{
    QFETCH(QString, label);
    QFETCH(int, area);
    QFETCH(QString, number);

    const LibNorvoTCP::AreaType found = LabelAddress::area(label);
    QCOMPARE(int(found), area);
    const QString text = LabelAddress::number(label, found);
    QCOMPARE(text, number);
    QCOMPARE(text.isNull(), number.isNull());
}

void TestLabelAddress::digitsAppendToAccumulator()
{
    QCOMPARE(digits("a1b2c3", "9"), QString("9123"));
    QVERIFY(digits("xyz", QString()).isEmpty());
}

void TestLabelAddress::byteLength_data()
{
    addColumns<int, int, int>("type", "count", "bytes");

    QTest::newRow("bool 8") << int(DT_Bool) << 8 << 1;
    QTest::newRow("bool 9") << int(DT_Bool) << 9 << 2;
    QTest::newRow("int8 1") << int(DT_Int8) << 1 << 0;
    QTest::newRow("int8 3") << int(DT_Int8) << 3 << 2;
    QTest::newRow("uint8 4") << int(DT_UInt8) << 4 << 4;
    QTest::newRow("uint16 3") << int(DT_UInt16) << 3 << 6;
    QTest::newRow("float 2") << int(DT_Float) << 2 << 8;
    QTest::newRow("double 2") << int(DT_Double) << 2 << 16;
    QTest::newRow("qstring") << int(DT_QString) << 5 << 0;
    QTest::newRow("variant") << int(DT_Int32_V1) << 5 << 0;
    QTest::newRow("none") << int(DT_None) << 5 << 0;
    // A count no request could carry saturates instead of overflowing.
    QTest::newRow("huge") << int(DT_Double) << std::numeric_limits<int>::max()
                          << std::numeric_limits<int>::max();
}

void TestLabelAddress::byteLength()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, bytes);
    QCOMPARE(LabelAddress::byteLength(DataType(type), count), bytes);
}

void TestLabelAddress::readPlan_data()
{
    addColumns<int, int, int, bool, qint64>("type", "count", "area", "bitRead", "units");

    const int d = LibNorvoTCP::Area_D, r = LibNorvoTCP::Area_R;
    const int x = LibNorvoTCP::Area_WX, y = LibNorvoTCP::Area_WY;
    // Register areas: every read covers all of its count values.
    QTest::newRow("bool 1 on D") << int(DT_Bool) << 1 << d << false << qint64(1);
    QTest::newRow("bool 17 on D") << int(DT_Bool) << 17 << d << false << qint64(2);
    QTest::newRow("int8 1 on D") << int(DT_Int8) << 1 << d << false << qint64(1);
    QTest::newRow("uint8 3 on D") << int(DT_UInt8) << 3 << d << false << qint64(2);
    QTest::newRow("int16 3 on D") << int(DT_Int16) << 3 << d << false << qint64(3);
    QTest::newRow("int32 2 on R") << int(DT_Int32) << 2 << r << false << qint64(4);
    QTest::newRow("double 2 on D") << int(DT_Double) << 2 << d << false << qint64(8);
    QTest::newRow("qstring on D") << int(DT_QString) << 5 << d << false << qint64(0);
    // Bit areas: one bit per flag, width bits per value.
    QTest::newRow("bool 10 on X") << int(DT_Bool) << 10 << x << true << qint64(10);
    QTest::newRow("uint8 2 on Y") << int(DT_UInt8) << 2 << y << true << qint64(16);
    QTest::newRow("int32 3 on X") << int(DT_Int32) << 3 << x << true << qint64(96);
    QTest::newRow("int64 4 on X") << int(DT_Int64) << 4 << x << true << qint64(256);
    QTest::newRow("qstring on X") << int(DT_QString) << 5 << x << true << qint64(5);
    // No overflow on absurd counts: the caller refuses them by their size.
    QTest::newRow("huge on X") << int(DT_Double) << std::numeric_limits<int>::max()
                               << int(LibNorvoTCP::Area_WX) << true
                               << qint64(64) * std::numeric_limits<int>::max();
}

void TestLabelAddress::readPlan()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(int, area);
    QFETCH(bool, bitRead);
    QFETCH(qint64, units);

    const RequestPlan::Read plan = RequestPlan::read(DataType(type), count, area);
    QCOMPARE(plan.bitRead, bitRead);
    QCOMPARE(plan.units, units);
}

void TestLabelAddress::writePlan_data()
{
    addColumns<int, int, qint64>("type", "count", "units");

    // Whole registers on every area; what cannot be written plans nothing.
    QTest::newRow("int8 4") << int(DT_Int8) << 4 << qint64(2);
    QTest::newRow("uint8 3") << int(DT_UInt8) << 3 << qint64(1);
    QTest::newRow("uint16 3") << int(DT_UInt16) << 3 << qint64(3);
    QTest::newRow("float 2") << int(DT_Float) << 2 << qint64(4);
    QTest::newRow("double 64") << int(DT_Double) << 64 << qint64(256);
    QTest::newRow("bool 16") << int(DT_Bool) << 16 << qint64(0);
    QTest::newRow("int16 variant") << int(DT_Int16_V1) << 2 << qint64(0);
    QTest::newRow("qstring") << int(DT_QString) << 2 << qint64(0);
}

void TestLabelAddress::writePlan()
{
    QFETCH(int, type);
    QFETCH(int, count);
    QFETCH(qint64, units);

    QCOMPARE(RequestPlan::write(DataType(type), count).units, units);
}

QTEST_APPLESS_MAIN(TestLabelAddress)
#include "tst_labeladdress.moc"
