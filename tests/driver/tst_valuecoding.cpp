// SPDX-License-Identifier: LGPL-2.1-or-later
// Typed values <-> nibble bytes, both directions, every width, and the
// driver's decoders and encoders by type.

#include "LibNorvoTCP.h"
#include "requestplan.h"
#include "valuecoding.h"

#include "Extremes.h"
#include "TestTable.h"

#include <QtTest/QtTest>

#include <limits>

using namespace ValueCoding;

namespace {

QByteArray nibbles(std::initializer_list<int> values)
{
    QByteArray bytes;
    for (int v : values)
        bytes.append(char(v));
    return bytes;
}

QByteArray bitBytes(int count, std::initializer_list<int> setBits)
{
    QByteArray bits(count, '\0');
    for (int b : setBits)
        bits[b] = 1;
    return bits;
}

// Encoding then decoding gives back every bit of every value.
template <typename T>
void checkRoundTrip()
{
    const QList<T> values = extremes<T>();
    const QByteArray encoded = encode(values, values.size());
    QCOMPARE(encoded.size(), values.size() * int(sizeof(T)) * 2);
    for (char nibble : encoded)
        QVERIFY(quint8(nibble) <= 0xF);
    const QList<T> decoded = decode<T>(encoded, values.size());
    QCOMPARE(decoded.size(), values.size());
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(toPattern(decoded.at(i)), toPattern(values.at(i)));
}

} // namespace

class TestValueCoding : public QObject
{
    Q_OBJECT
private slots:
    void decodesLowWordFirst();
    void decodesNegativeValues();
    void missingNibblesReadAsZero();
    void encodesLowWordFirst();
    void roundTripsEveryWidth();
    void nanKeepsItsBits();
    void bitsPackIntoRegisterForm();
    void packsAnyNumberOfGroups();
    void unpackIsInverseOfPack();
    void encodeVariantRefusesWrongOrShortLists();
    void typeTable_data();
    void typeTable();
};

void TestValueCoding::decodesLowWordFirst()
{
    const QByteArray oneToEight = nibbles({1, 2, 3, 4, 5, 6, 7, 8});
    QCOMPARE(decode<int>(oneToEight, 1), QList<int>{0x56781234});
    QCOMPARE(decode<unsigned int>(oneToEight, 1), QList<unsigned int>{0x56781234u});

    const QByteArray zeroToFifteen
        = nibbles({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    QCOMPARE(decode<quint64>(zeroToFifteen, 1), QList<quint64>{0xCDEF89AB45670123ull});
    QCOMPARE(decode<qint64>(zeroToFifteen, 1),
             QList<qint64>{qint64(0xCDEF89AB45670123ull)});

    QCOMPARE(decode<float>(nibbles({0, 0, 0, 0, 3, 15, 8, 0}), 1), QList<float>{1.0f});
    // 1.0 as a double is 0x3FF0000000000000: its top word comes last.
    QCOMPARE(decode<double>(nibbles({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 15, 15, 0}), 1),
             QList<double>{1.0});

    // Two registers 12AB 0005: 16-bit values in address order, 8-bit values
    // high byte first.
    const QByteArray twoRegisters = nibbles({1, 2, 10, 11, 0, 0, 0, 5});
    QCOMPARE(decode<unsigned short>(twoRegisters, 2), (QList<unsigned short>{0x12AB, 0x0005}));
    QCOMPARE(decode<unsigned char>(twoRegisters, 4),
             (QList<unsigned char>{0x12, 0xAB, 0x00, 0x05}));
}

void TestValueCoding::decodesNegativeValues()
{
    QCOMPARE(decode<short>(nibbles({15, 15, 15, 14}), 1), QList<short>{-2});
    QCOMPARE(decode<int>(nibbles({15, 15, 15, 14, 15, 15, 15, 15}), 1), QList<int>{-2});
    QCOMPARE(decode<qint64>(QByteArray(16, char(15)), 1), QList<qint64>{-1});
    QCOMPARE(decode<qint64>(nibbles({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0}), 1),
             QList<qint64>{std::numeric_limits<qint64>::min()});
    QCOMPARE(decode<float>(nibbles({0, 0, 0, 0, 12, 0, 2, 0}), 1), QList<float>{-2.5f});
    QCOMPARE(decode<double>(nibbles({0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 0, 4}), 1),
             QList<double>{-2.5});
    // The target's plain char is unsigned: DT_Int8 keeps the byte pattern.
    QCOMPARE(decode<char>(nibbles({15, 0}), 1), QList<char>{char(0xF0)});
    QCOMPARE(int(decode<char>(nibbles({15, 0}), 1).at(0)), 240);
}

void TestValueCoding::missingNibblesReadAsZero()
{
    QCOMPARE(decode<unsigned short>(nibbles({1, 2}), 2), (QList<unsigned short>{0x1200, 0}));
    QVERIFY(decode<int>(QByteArray(), 0).isEmpty());
    QVERIFY(decode<int>(nibbles({1}), -3).isEmpty());
    QCOMPARE(decodeBits(bitBytes(2, {1}), 3), (QList<bool>{false, true, false}));
}

void TestValueCoding::encodesLowWordFirst()
{
    QCOMPARE(encode(QList<short>{0x1234}, 1), nibbles({1, 2, 3, 4}));
    QCOMPARE(encode(QList<short>{-1}, 1), nibbles({15, 15, 15, 15}));
    QCOMPARE(encode(QList<int>{0x12345678}, 1), nibbles({5, 6, 7, 8, 1, 2, 3, 4}));
    QCOMPARE(encode(QList<qint64>{0x0123456789ABCDEF}, 1),
             nibbles({12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3}));
    QCOMPARE(encode(QList<float>{1.0f}, 1), nibbles({0, 0, 0, 0, 3, 15, 8, 0}));
    QCOMPARE(encode(QList<char>{0x12, 0x34, 0x56}, 2), nibbles({1, 2, 3, 4}));
    // Only the first count values are encoded.
    QCOMPARE(encode(QList<unsigned short>{1, 2, 3}, 1), nibbles({0, 0, 0, 1}));
}

void TestValueCoding::roundTripsEveryWidth()
{
    checkRoundTrip<char>();
    checkRoundTrip<unsigned char>();
    checkRoundTrip<short>();
    checkRoundTrip<unsigned short>();
    checkRoundTrip<int>();
    checkRoundTrip<unsigned int>();
    checkRoundTrip<float>();
    checkRoundTrip<qint64>();
    checkRoundTrip<quint64>();
    checkRoundTrip<double>();
}

void TestValueCoding::nanKeepsItsBits()
{
    const quint64 pattern = 0x7FF80000DEADBEEFull;
    const double nan = fromPattern<double>(pattern);
    QCOMPARE(toPattern(decode<double>(encode(QList<double>{nan}, 1), 1).at(0)), pattern);
}

void TestValueCoding::bitsPackIntoRegisterForm()
{
    // Eight bits make a byte whose bit j is the j-th bit: bits 0 and 9 give 1, 2.
    const QByteArray packed = packBits(bitBytes(16, {0, 9}), 8, 2);
    QCOMPARE(packed, nibbles({0, 1, 0, 2}));
    QCOMPARE(decode<unsigned char>(packed, 2), (QList<unsigned char>{1, 2}));

    // Sixteen bits make a register: bit 0 least significant, so 32 bits give
    // a 32-bit value with the lowest bit address as its bit 0.
    const QByteArray words = packBits(bitBytes(32, {0, 4, 17, 31}), 16, 2);
    QCOMPARE(decode<unsigned int>(words, 1), QList<unsigned int>{0x80020011u});
}

void TestValueCoding::packsAnyNumberOfGroups()
{
    // Far more groups than a small fixed scratch would hold.
    const int groups = 31;
    QByteArray bits(groups * 8, '\0');
    for (int g = 0; g < groups; ++g) {
        for (int j = 0; j < 8; ++j)
            bits[g * 8 + j] = char((g >> j) & 1);
    }
    const QList<unsigned char> values = decode<unsigned char>(packBits(bits, 8, groups), groups);
    QCOMPARE(values.size(), groups);
    for (int g = 0; g < groups; ++g)
        QCOMPARE(int(values.at(g)), g);
    QVERIFY(packBits(bits, 8, 0).isEmpty());
}

void TestValueCoding::unpackIsInverseOfPack()
{
    const QByteArray bits = bitBytes(48, {0, 1, 15, 16, 30, 47});
    QCOMPARE(unpackBits(packBits(bits, 16, 3), 16, 3), bits);
    // A register 0x8001 holds bits 0 and 15.
    QCOMPARE(unpackBits(nibbles({8, 0, 0, 1}), 16, 1), bitBytes(16, {0, 15}));
}

void TestValueCoding::encodeVariantRefusesWrongOrShortLists()
{
    QByteArray out("x");
    const QVariant shorts = QVariant::fromValue(QList<short>{7, 8});
    QCOMPARE(encodeVariant<short>(shorts, 3, &out), EncodeResult::TooFewElements);
    QCOMPARE(encodeVariant<int>(shorts, 1, &out), EncodeResult::NotConvertible);
    QCOMPARE(encodeVariant<short>(QVariant(), 1, &out), EncodeResult::NotConvertible);
    QCOMPARE(encodeVariant<short>(QVariant(short(7)), 1, &out), EncodeResult::NotConvertible);
    QCOMPARE(out, QByteArray("x"));

    QCOMPARE(encodeVariant<short>(shorts, 2, &out), EncodeResult::Encoded);
    QCOMPARE(out, QByteArray("x") + nibbles({0, 0, 0, 7, 0, 0, 0, 8}));
}

void TestValueCoding::typeTable_data()
{
    // listType: of a decoded list; 0: none
    addColumns<int, int, int, bool>("type", "bits", "listType", "writable");

    QTest::newRow("bool") << int(DT_Bool) << 1 << qMetaTypeId<QList<bool>>() << false;
    QTest::newRow("int8") << int(DT_Int8) << 8 << qMetaTypeId<QList<char>>() << true;
    QTest::newRow("uint8") << int(DT_UInt8) << 8 << qMetaTypeId<QList<unsigned char>>() << true;
    QTest::newRow("int16") << int(DT_Int16) << 16 << qMetaTypeId<QList<short>>() << true;
    QTest::newRow("uint16") << int(DT_UInt16) << 16 << qMetaTypeId<QList<unsigned short>>() << true;
    QTest::newRow("int32") << int(DT_Int32) << 32 << qMetaTypeId<QList<int>>() << true;
    QTest::newRow("uint32") << int(DT_UInt32) << 32 << qMetaTypeId<QList<unsigned int>>() << true;
    QTest::newRow("float") << int(DT_Float) << 32 << qMetaTypeId<QList<float>>() << true;
    QTest::newRow("int64") << int(DT_Int64) << 64 << qMetaTypeId<QList<qint64>>() << true;
    QTest::newRow("uint64") << int(DT_UInt64) << 64 << qMetaTypeId<QList<quint64>>() << true;
    QTest::newRow("double") << int(DT_Double) << 64 << qMetaTypeId<QList<double>>() << true;
    // No layout on the PLC: neither read nor written.
    QTest::newRow("none") << int(DT_None) << 0 << 0 << false;
    QTest::newRow("qstring") << int(DT_QString) << 0 << 0 << false;
    QTest::newRow("int16 variant") << int(DT_Int16_V1) << 0 << 0 << false;
    QTest::newRow("double variant") << int(DT_Double_V4) << 0 << 0 << false;
    QTest::newRow("unnamed") << 99 << 0 << 0 << false;
}

void TestValueCoding::typeTable()
{
    QFETCH(int, type);
    QFETCH(int, bits);
    QFETCH(int, listType);
    QFETCH(bool, writable);

    QCOMPARE(valueBits(DataType(type)), bits);
    QCOMPARE(ValueCoding::writable(DataType(type)), writable);
    const QVariant decoded = decodeList(DataType(type), QByteArray(32, '\0'), 2);
    QCOMPARE(decoded.isValid() ? decoded.userType() : 0, listType);
    QByteArray out;
    const EncodeResult encoded = encodeWrite(DataType(type), decoded, 2, &out);
    QCOMPARE(encoded, writable ? EncodeResult::Encoded : EncodeResult::NotWritable);
    QCOMPARE(out.size(), writable ? bits / 2 : 0);

    // The read and write paths pick the type's own set_variant_* and
    // Wset_variant_* member: on a register area and on a bit area the list
    // is the type's, and its encoding is the type's width.
    LibNorvoTCP driver;
    for (const int area : {int(NorvoArea::Area_D), int(NorvoArea::Area_WX)}) {
        const RequestPlan::Read plan = RequestPlan::read(DataType(type), 2, area);
        const QVariant read
            = driver.decodeAnswer(DataType(type), plan, QByteArray(64, '\1'), 2, 100);
        QCOMPARE(read.isValid() ? read.userType() : 0, listType);
        if (read.isValid())
            QCOMPARE(read.value<QVariantList>().size(), 2);
    }
    CLabelVariable record;
    record.value = decoded;
    QByteArray sent;
    QCOMPARE(driver.encodeRecord(DataType(type), record, 2, &sent), encoded);
    QCOMPARE(sent, out);
}

QTEST_APPLESS_MAIN(TestValueCoding)
#include "tst_valuecoding.moc"
