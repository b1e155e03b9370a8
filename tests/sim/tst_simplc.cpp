// SPDX-License-Identifier: LGPL-2.1-or-later
// One simulated PLC: requests as a driver sends them, the answers,
// refusals, word views and the cutting of a byte stream into frames.

#include "simplc.h"
#include "simframe.h"
#include "simframereader.h"

#include <QtTest/QtTest>

class TestSimPlc : public QObject
{
    Q_OBJECT

private slots:
    void workedRequestsParse();
    void answersToWorkedRequests();
    void handBuiltFramesMatchWorkedExamples();
    void refusals_data();
    void refusals();
    void otherStationsGetNoAnswer();
    void refusedWriteChangesNothing();
    void wordViewsOfBitAreas();
    void bitReadsAndRegisterAreasAreSeparate();
    void streamIsCutIntoFrames();
    void garbageNeverCrashes();
};

void TestSimPlc::workedRequestsParse()
{
    // Bit read of 3 bits from X0010, station 1.
    const SimRequest bits = SimFrame::parseRequest(QByteArray::fromHex("02 30 31 34 34 30 33 58 30 30 31 30 34 37 03"));
    QCOMPARE(bits.error, SimErrorCode::none);
    QCOMPARE(bits.station, 1);
    QVERIFY(bits.isBitRead());
    QCOMPARE(bits.area, SimArea::X);
    QCOMPARE(bits.start, 10);
    QCOMPARE(bits.count, 3);

    // Register read of 2 registers from R0100.
    const SimRequest regs = SimFrame::parseRequest(QByteArray::fromHex("02 30 31 34 36 30 32 52 30 30 31 30 30 37 32 03"));
    QCOMPARE(regs.error, SimErrorCode::none);
    QVERIFY(regs.isRegisterRead());
    QCOMPARE(regs.area, SimArea::R);
    QCOMPARE(regs.start, 100);
    QCOMPARE(regs.count, 2);

    // Register write of 0x12AB to D0005.
    const SimRequest write = SimFrame::parseRequest(
            QByteArray::fromHex("02 30 31 34 37 30 31 44 30 30 30 30 35 31 32 41 42 34 45 03"));
    QCOMPARE(write.error, SimErrorCode::none);
    QVERIFY(write.isRegisterWrite());
    QCOMPARE(write.area, SimArea::D);
    QCOMPARE(write.start, 5);
    QCOMPARE(write.values, QVector<quint16>{0x12AB});

    // Cut short at either end, or too short for any command.
    const QByteArray whole = QByteArray::fromHex("02 30 31 34 37 30 31 44 30 30 30 30 35 31 32 41 42 34 45 03");
    for (const QByteArray &broken : {whole.mid(1), whole.left(15), QByteArray("\x02" "0199\x03")})
        QCOMPARE(SimFrame::parseRequest(broken).error, SimErrorCode::malformed);
}

void TestSimPlc::answersToWorkedRequests()
{
    SimPlc plc(1);
    plc.memory().setBit(SimArea::X, 10, true);
    plc.memory().setBit(SimArea::X, 12, true);
    plc.memory().setValue(SimArea::R, 100, 0x12AB);
    plc.memory().setValue(SimArea::R, 101, 0x0005);

    // Bits 1 0 1; registers 12AB 0005; the write acknowledged.
    QCOMPARE(plc.respond(QByteArray::fromHex("02 30 31 34 34 30 33 58 30 30 31 30 34 37 03")),
             QByteArray::fromHex("02 30 31 34 34 30 31 30 31 38 44 03"));
    QCOMPARE(plc.respond(QByteArray::fromHex("02 30 31 34 36 30 32 52 30 30 31 30 30 37 32 03")),
             QByteArray::fromHex("02 30 31 34 36 30 31 32 41 42 30 30 30 35 41 38 03"));
    QCOMPARE(plc.respond(QByteArray::fromHex("02 30 31 34 37 30 31 44 30 30 30 30 35 31 32 41 42 34 45 03")),
             QByteArray::fromHex("02 30 31 34 37 30 46 45 03"));
    QCOMPARE(plc.memory().value(SimArea::D, 5), quint16(0x12AB));

    // Station 0x1F: the answer carries it back in upper case.
    plc.setStation(0x1F);
    QCOMPARE(plc.respond(SimFrame::frame("1F4601D00005")), SimFrame::frame("1F46012AB"));
}

void TestSimPlc::handBuiltFramesMatchWorkedExamples()
{
    // The helpers tests and scripts build frames with, against the same bytes.
    const QByteArray bitRead = QByteArray::fromHex("02 30 31 34 34 30 33 58 30 30 31 30");
    QCOMPARE(SimFrame::checksumText(bitRead), QByteArray("47"));
    QCOMPARE(SimFrame::frame("014403X0010"), QByteArray::fromHex("02 30 31 34 34 30 33 58 30 30 31 30 34 37 03"));
    QCOMPARE(SimFrame::frame("01440" + SimFrame::bitData({1, 0, 1})),
             QByteArray::fromHex("02 30 31 34 34 30 31 30 31 38 44 03"));
    QCOMPARE(SimFrame::frame("01460" + SimFrame::registerData({0x12AB, 0x0005})),
             QByteArray::fromHex("02 30 31 34 36 30 31 32 41 42 30 30 30 35 41 38 03"));
    const SimRequest write = SimFrame::parseRequest(
            QByteArray::fromHex("02 30 31 34 37 30 31 44 30 30 30 30 35 31 32 41 42 34 45 03"));
    QCOMPARE(SimFrame::answer(write, SimErrorCode::none), QByteArray::fromHex("02 30 31 34 37 30 46 45 03"));
    QCOMPARE(SimFrame::hex(0x1F, 2) + SimFrame::hex(0xBEEF, 4), QByteArray("1FBEEF"));
}

void TestSimPlc::refusals_data()
{
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<char>("code");

    QByteArray badSum = SimFrame::frame("014601D00005");
    badSum[badSum.size() - 2] = badSum.at(badSum.size() - 2) == '0' ? '1' : '0';
    QTest::newRow("checksum wrong") << badSum << SimErrorCode::checksum;
    // The checksum of this one is 6A.
    QTest::newRow("checksum in lower case")
            << QByteArray("\x02" "014601D00008" "6a" "\x03") << SimErrorCode::checksum;
    QTest::newRow("no end byte") << SimFrame::frame("014601D00005").chopped(1) << SimErrorCode::malformed;
    QTest::newRow("unknown command") << SimFrame::frame("014501D00005") << SimErrorCode::unknownCommand;
    QTest::newRow("read one char short") << SimFrame::frame("014601D0005") << SimErrorCode::malformed;
    QTest::newRow("read one char long") << SimFrame::frame("014601D000050") << SimErrorCode::malformed;
    QTest::newRow("count not hex") << SimFrame::frame("01460GD00005") << SimErrorCode::malformed;
    QTest::newRow("count in lower case") << SimFrame::frame("01460aD00005") << SimErrorCode::malformed;
    QTest::newRow("count zero") << SimFrame::frame("014600D00005") << SimErrorCode::malformed;
    QTest::newRow("number not decimal") << SimFrame::frame("014601D0000A") << SimErrorCode::malformed;
    QTest::newRow("number byte 0") << SimFrame::frame(QByteArray("014601D000", 10) + QByteArray(1, '\0') + "5")
                                   << SimErrorCode::malformed;
    QTest::newRow("register area unknown") << SimFrame::frame("014601Q00005") << SimErrorCode::unknownArea;
    QTest::newRow("bit area on register read") << SimFrame::frame("014601X00005") << SimErrorCode::unknownArea;
    QTest::newRow("register area on bit read") << SimFrame::frame("01440100000") << SimErrorCode::unknownArea;
    QTest::newRow("area byte 0") << SimFrame::frame(QByteArray("014601", 6) + QByteArray(2, '\0') + "0005")
                                 << SimErrorCode::unknownArea;
    QTest::newRow("last register past 9999") << SimFrame::frame("014602D09999") << SimErrorCode::outOfRange;
    QTest::newRow("last bit past 9999") << SimFrame::frame("014402Y9999") << SimErrorCode::outOfRange;
    QTest::newRow("word past bit 9999") << SimFrame::frame("014601WM9985") << SimErrorCode::outOfRange;
    QTest::newRow("write data short") << SimFrame::frame("014702D00005" "12AB") << SimErrorCode::malformed;
    QTest::newRow("write data lower case") << SimFrame::frame("014701D00005" "12ab") << SimErrorCode::malformed;
    // A count above 255 wraps in its field while all its data is sent.
    QTest::newRow("write count wrapped")
            << SimFrame::frame("014701D00005" + QByteArray(4 * 257, '1')) << SimErrorCode::malformed;
}

void TestSimPlc::refusals()
{
    QFETCH(QByteArray, frame);
    QFETCH(char, code);

    SimPlc plc(1);
    const QByteArray answer = plc.respond(frame);
    // 0x02, station, command echoed, the code, no data, checksum, 0x03.
    QCOMPARE(answer.size(), 9);
    QCOMPARE(answer.left(5), frame.left(5));
    QCOMPARE(answer.at(5), code);
    QCOMPARE(answer, SimFrame::frame(answer.mid(1, 5)));
}

void TestSimPlc::otherStationsGetNoAnswer()
{
    SimPlc plc(2);
    QVERIFY(plc.respond(SimFrame::frame("014601D00005")).isEmpty());
    QVERIFY(!plc.respond(SimFrame::frame("024601D00005")).isEmpty());
    // Not even a refusal: a bad checksum or unreadable station stays silent too.
    QByteArray other = SimFrame::frame("014501D00005");
    other[other.size() - 2] = 'X';
    QVERIFY(plc.respond(other).isEmpty());
    QVERIFY(plc.respond(SimFrame::frame("0x4601D00005")).isEmpty());
    QVERIFY(plc.refuse(SimFrame::frame("014601D00005"), '6').isEmpty());
    QCOMPARE(plc.refuse(SimFrame::frame("024601D00005"), '6'), SimFrame::frame("02466"));
}

void TestSimPlc::refusedWriteChangesNothing()
{
    SimPlc plc(1);
    plc.memory().setValue(SimArea::D, 9999, 7);
    QCOMPARE(plc.respond(SimFrame::frame("014702D09999" "11112222")).at(5), SimErrorCode::outOfRange);
    QCOMPARE(plc.memory().value(SimArea::D, 9999), quint16(7));
    QCOMPARE(plc.refuse(SimFrame::frame("014701D09999" "1111"), '6').at(5), '6');
    QCOMPARE(plc.memory().value(SimArea::D, 9999), quint16(7));
}

void TestSimPlc::wordViewsOfBitAreas()
{
    SimPlc plc(1);
    SimMemory &memory = plc.memory();

    // Word n holds bits n..n+15, bit n the least significant.
    memory.setBit(SimArea::M, 3, true);
    memory.setBit(SimArea::M, 18, true);
    QCOMPARE(memory.value(SimArea::WM, 3), quint16(0x8001));
    QCOMPARE(memory.value(SimArea::WM, 0), quint16(0x0008));
    QCOMPARE(memory.value(SimArea::WM, 4), quint16(0x4000));

    // A run of two words from M3 covers M3..M34.
    QCOMPARE(plc.respond(SimFrame::frame("014602WM0003")), SimFrame::frame("01460" "80010000"));

    // Writing a word sets its 16 bits and no others.
    QCOMPARE(plc.respond(SimFrame::frame("014702WS0100" "8001" "0002")).at(5), SimErrorCode::none);
    QVERIFY(memory.bit(SimArea::S, 100));
    QVERIFY(memory.bit(SimArea::S, 115));
    QVERIFY(memory.bit(SimArea::S, 117));
    QVERIFY(!memory.bit(SimArea::S, 99));
    QVERIFY(!memory.bit(SimArea::S, 116));
    QVERIFY(!memory.bit(SimArea::S, 132));
    // The bits read back through the bit command.
    QCOMPARE(plc.respond(SimFrame::frame("014404S0114")), SimFrame::frame("01440" "0101"));
    // Each view stays on its own bits.
    QCOMPARE(memory.value(SimArea::WX, 100), quint16(0));
    QCOMPARE(memory.value(SimArea::WT, 100), quint16(0));

    // The highest word that fits: bits 9984..9999.
    memory.setValue(SimArea::WC, 9984, 0x8000);
    QVERIFY(memory.bit(SimArea::C, 9999));
    QCOMPARE(plc.respond(SimFrame::frame("014601WC9984")), SimFrame::frame("01460" "8000"));

    // Callers of the memory itself cannot reach outside it.
    SimMemory edges;
    edges.setValue(SimArea::D, 10000, 1);
    edges.setValue(SimArea::D, -1, 1);
    edges.setValue(SimArea::None, 0, 1);
    edges.setValue(SimArea::WX, 9990, 0xFFFF);   // only X9990..X9999 exist
    QCOMPARE(edges.value(SimArea::WX, 9990), quint16(0x03FF));
    QCOMPARE(edges.value(SimArea::D, 10000), quint16(0));
    QCOMPARE(edges.value(SimArea::D, std::numeric_limits<int>::max()), quint16(0));
    QCOMPARE(edges.readRun(SimArea::WX, 9000, std::numeric_limits<int>::max()).size(), SimAreas::elementCount);
    QVERIFY(edges.readRun(SimArea::D, -5, 3).isEmpty());
}

void TestSimPlc::bitReadsAndRegisterAreasAreSeparate()
{
    SimPlc plc(1);
    plc.memory().setValue(SimArea::R, 7, 1);
    plc.memory().setValue(SimArea::D, 7, 2);
    plc.memory().setValue(SimArea::RT, 7, 3);
    plc.memory().setValue(SimArea::RC, 7, 4);
    plc.memory().setBit(SimArea::T, 7, true);
    QCOMPARE(plc.respond(SimFrame::frame("014601R00007")), SimFrame::frame("01460" "0001"));
    QCOMPARE(plc.respond(SimFrame::frame("014601D00007")), SimFrame::frame("01460" "0002"));
    QCOMPARE(plc.respond(SimFrame::frame("014601RT0007")), SimFrame::frame("01460" "0003"));
    QCOMPARE(plc.respond(SimFrame::frame("014601RC0007")), SimFrame::frame("01460" "0004"));
    QCOMPARE(plc.respond(SimFrame::frame("014401T0007")), SimFrame::frame("01440" "1"));
    QCOMPARE(plc.respond(SimFrame::frame("014401C0007")), SimFrame::frame("01440" "0"));

    // The longest run: 255 registers up to D9999.
    const QByteArray answer = plc.respond(SimFrame::frame("0146FFD09745"));
    QCOMPARE(answer.size(), 9 + 4 * 255);
    QCOMPARE(answer.at(5), SimErrorCode::none);
}

void TestSimPlc::streamIsCutIntoFrames()
{
    SimFrameReader reader;
    const QByteArray first = SimFrame::frame("014601D00005");
    const QByteArray second = SimFrame::frame("014401X0001");

    // Noise before a frame, a frame in pieces, two frames in one read.
    QVERIFY(reader.feed("noise\x03" + first.left(4)).isEmpty());
    QCOMPARE(reader.feed(first.mid(4) + second), (QList<QByteArray>{first, second}));

    // A start byte inside a frame starts it anew.
    QCOMPARE(reader.feed(first.left(7) + second), QList<QByteArray>{second});

    // A frame longer than any request is dropped, and the reader recovers.
    QVERIFY(reader.feed('\x02' + QByteArray(5000, '1')).isEmpty());
    QVERIFY(reader.feed(QByteArray(100, '1') + '\x03').isEmpty());
    QCOMPARE(reader.feed(first), QList<QByteArray>{first});

    // The longest request passes whole.
    const QByteArray longest = SimFrame::frame("0147FFD00000" + QByteArray(4 * 255, 'A'));
    QCOMPARE(reader.feed(longest), QList<QByteArray>{longest});
}

void TestSimPlc::garbageNeverCrashes()
{
    // Every prefix and every single-byte change of a valid write, plus
    // random frames: each gets no answer or a well-formed one.
    SimPlc plc(1);
    const QByteArray valid = SimFrame::frame("014702D00005" "12AB0005");
    QList<QByteArray> frames;
    for (int length = 0; length <= valid.size(); ++length)
        frames.append(valid.left(length));
    for (int i = 0; i < valid.size(); ++i) {
        for (int byte : {0x00, 0x02, 0x03, 0x30, 0x46, 0x61, 0xFF}) {
            QByteArray changed = valid;
            changed[i] = char(byte);
            frames.append(changed);
        }
    }
    QRandomGenerator random(42);
    for (int i = 0; i < 2000; ++i) {
        QByteArray frame(int(random.bounded(40)), '\0');
        for (char &byte : frame)
            byte = char(random.bounded(256));
        frames.append("\x02" "01" + frame);
    }
    for (const QByteArray &frame : qAsConst(frames)) {
        const QByteArray answer = plc.respond(frame);
        if (answer.isEmpty())
            continue;
        QVERIFY(answer.size() >= 9);
        QCOMPARE(answer.at(0), '\x02');
        QCOMPARE(answer.right(1), QByteArray("\x03"));
        QCOMPARE(answer.count('\x02'), 1);
        QCOMPARE(answer.count('\x03'), 1);
        QCOMPARE(answer, SimFrame::frame(answer.mid(1).chopped(3)));
    }
}

QTEST_GUILESS_MAIN(TestSimPlc)
#include "tst_simplc.moc"
