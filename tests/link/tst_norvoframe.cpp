// SPDX-License-Identifier: LGPL-2.1-or-later
// Request frames byte for byte, the checksum and the hex conversions.
// Answers are judged in tst_linkcommands, through the commands.
#include "AreaType.h"
#include "CmdNorvo_TCP.h"
#include "NorvoFrame.h"
#include "TestTable.h"
#include "simframe.h"

#include <QtTest/QtTest>

class TestNorvoFrame : public QObject
{
    Q_OBJECT
private slots:
    void requestFrames_data();
    void requestFrames();
    void longWriteChecksumCoversEveryByte();
    void expectedAnswerLengths();
    void conversions();
};

void TestNorvoFrame::requestFrames_data()
{
    // command: 0 bit read, 1 register read, 2 register write
    addColumns<int, int, QString, int, int, QByteArray, QByteArray>(
        "command", "station", "addr", "count", "area", "data", "frame");

    // The protocol's worked examples.
    QTest::newRow("bit read X0010 x3") << 0 << 1 << "0010" << 3 << int(NorvoArea::Area_WX) << QByteArray()
        << QByteArray::fromHex("023031343430335830303130343703");
    QTest::newRow("register read R0100 x2") << 1 << 1 << "0100" << 2 << int(NorvoArea::Area_R) << QByteArray()
        << QByteArray::fromHex("02303134363032523030313030373203");
    QTest::newRow("register write D0005 12AB") << 2 << 1 << "0005" << 1 << int(NorvoArea::Area_D)
        << QByteArray::fromHex("01020a0b")
        << QByteArray::fromHex("0230313437303144303030303531324142344503");

    // Fields that do not fit: low 8 bits of station and count, byte 0 for
    // missing or wide address characters and for area 0.
    QByteArray odd;
    odd.append('\x02').append("2C").append("46").append("01").append('\0').append('\0');
    odd.append("7").append('\0').append('\0').append('\0');
    odd.append(SimFrame::checksumText(odd)).append('\x03');
    QTest::newRow("station 300, area 0, short address") << 1 << 300 << "7" << 257 << 0
        << QByteArray() << odd;
    QByteArray wide;
    wide.append('\x02').append("01").append("44").append("01").append('X');
    wide.append('1').append('\0').append("23");
    wide.append(SimFrame::checksumText(wide)).append('\x03');
    QTest::newRow("address character above 0xFF") << 0 << 1 << QString::fromUtf8("1Ā23") << 1
        << int(NorvoArea::Area_WX) << QByteArray() << wide;

    // Write digits: missing ones go out as "0", values above 15 as themselves.
    QByteArray shortData;
    shortData.append('\x02').append("01").append("47").append("02").append("D0").append("0000");
    shortData.append("3A00").append("0000");
    shortData.append(SimFrame::checksumText(shortData)).append('\x03');
    QTest::newRow("write data short, byte 0x41") << 2 << 1 << "0000" << 2 << int(NorvoArea::Area_D)
        << QByteArray::fromHex("0341") << shortData;
}

void TestNorvoFrame::requestFrames()
{
    static const NorvoCommand *commands[] = { &NorvoCommand::BitRead, &NorvoCommand::RegisterRead,
                                              &NorvoCommand::RegisterWrite };
    QFETCH(int, command);
    QFETCH(int, station);
    QFETCH(QString, addr);
    QFETCH(int, count);
    QFETCH(int, area);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, frame);

    const NorvoRequest request(*commands[command], station, addr, count, area, data);
    QCOMPARE(request.frame().toHex(), frame.toHex());
}

void TestNorvoFrame::longWriteChecksumCoversEveryByte()
{
    QByteArray nibbles;
    for (int i = 0; i < 280; ++i)
        nibbles.append(char(i % 16));
    const NorvoRequest request(NorvoCommand::RegisterWrite, 1, "0000", 70, NorvoArea::Area_D, nibbles);
    const QByteArray frame = request.frame();
    QCOMPARE(frame.size(), 296);
    QCOMPARE(frame.mid(293, 2), SimFrame::checksumText(frame.left(293)));
    QCOMPARE(frame.at(295), '\x03');
    const SimRequest parsed = SimFrame::parseRequest(frame);
    QCOMPARE(parsed.error, SimErrorCode::none);
    QCOMPARE(parsed.count, 70);
    QCOMPARE(parsed.values.mid(0, 4), (QVector<quint16>{0x0123, 0x4567, 0x89AB, 0xCDEF}));
}

void TestNorvoFrame::expectedAnswerLengths()
{
    const int d0 = NorvoArea::Area_D;
    QCOMPARE(NorvoRequest(NorvoCommand::BitRead, 1, "0000", 10, d0).expectedAnswerLength(), 19);
    QCOMPARE(NorvoRequest(NorvoCommand::RegisterRead, 1, "0000", 10, d0).expectedAnswerLength(), 49);
    QCOMPARE(NorvoRequest(NorvoCommand::RegisterWrite, 1, "0000", 10, d0).expectedAnswerLength(), 9);
    // A count the frame cannot carry has no good answer at all, so a wrapped
    // count can never pass as success.
    QCOMPARE(NorvoRequest(NorvoCommand::RegisterRead, 1, "0000", 256, d0).expectedAnswerLength(), -1);
    QCOMPARE(NorvoRequest(NorvoCommand::BitRead, 1, "0000", -1, d0).expectedAnswerLength(), -1);
}

void TestNorvoFrame::conversions()
{
    CmdNorvo_TCP link;
    const QByteArray bitRead = QByteArray::fromHex("023031343430335830303130");
    QCOMPARE(int(link.cs_Check(bitRead, 12)), 0x47);
    QCOMPARE(int(link.cs_Check(bitRead, 0)), 0);
    QCOMPARE(int(link.cs_Check(bitRead, 100)), 0x47); // past the end counts as 0
    QCOMPARE(int(link.cs_Check(QByteArray(2, char(0xF0)), 2)), 0xE0); // bytes are unsigned

    QCOMPARE(int(link.GetHexconversionchar(0)), int('0'));
    QCOMPARE(int(link.GetHexconversionchar(10)), int('A'));
    QCOMPARE(int(link.GetHexconversionchar(15)), int('F'));
    QCOMPARE(int(link.GetHexconversionchar(16)), 16);
    QCOMPARE(int(link.GetcharconversionHex('9')), 9);
    QCOMPARE(int(link.GetcharconversionHex('F')), 15);
    QCOMPARE(int(link.GetcharconversionHex('a')), 0x61);
    QCOMPARE(int(link.GetcharconversionHex('G')), int('G'));
}

QTEST_GUILESS_MAIN(TestNorvoFrame)
#include "tst_norvoframe.moc"
