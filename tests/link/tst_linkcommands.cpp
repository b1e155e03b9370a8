// SPDX-License-Identifier: LGPL-2.1-or-later
// The three commands against a scripted PLC, over loopback TCP and over a
// pty: frames on the wire, which answers are taken, timing of pieces and
// late answers, the debug lines, and refusals.
#include "AreaType.h"
#include "CmdNorvo_TCP.h"
#include "MessageCapture.h"
#include "NorvoFrame.h"
#include "TestTable.h"
#include "simframe.h"
#include "simscriptedplc.h"

#include <QtTest/QtTest>

namespace {

enum Transport { Tcp, Pty };
enum Command { BitRead, RegisterRead, RegisterWrite };

QByteArray hex(const char *digits)
{
    return QByteArray::fromHex(digits);
}

// A link connected to a scripted PLC. The peer outlives the link.
struct Rig
{
    SimScriptedPlc plc;
    CmdNorvo_TCP link;

    bool open(Transport transport, int baud = 115200)
    {
        if (transport == Tcp) {
            return plc.listenTcp() && link.EthConnectDrive("127.0.0.1", plc.tcpPort()) == 0
                && plc.waitForConnections(1, 5000);
        }
        return plc.openPty() && link.serialConnectDrive(plc.ptyPath(), baud, 8, 1, "N") == 0;
    }
};

// The protocol's worked examples: bit read of X0010 x3, register read of
// R0100 x2, write of 0x12AB to D0005.
const QByteArray writeData = hex("01020a0b");

NorvoRequest workedRequest(Command command)
{
    switch (command) {
    case BitRead:
        return NorvoRequest(NorvoCommand::BitRead, 1, "0010", 3, NorvoArea::Area_WX);
    case RegisterRead:
        return NorvoRequest(NorvoCommand::RegisterRead, 1, "0100", 2, NorvoArea::Area_R);
    case RegisterWrite:
        break;
    }
    return NorvoRequest(NorvoCommand::RegisterWrite, 1, "0005", 1, NorvoArea::Area_D, writeData);
}

int workedCall(CmdNorvo_TCP &link, Command command, QByteArray *out)
{
    switch (command) {
    case BitRead:
        return link.Read_bool(1, "0010", 3, out, NorvoArea::Area_WX, "X10");
    case RegisterRead:
        return link.Read_area(1, "0100", 2, out, NorvoArea::Area_R, "R100");
    case RegisterWrite:
        break;
    }
    return link.Write_area(1, "0005", 1, writeData, NorvoArea::Area_D, "D5");
}

const QByteArray bitAnswer = hex("023031343430313031384403");
const QByteArray registerAnswer = hex("0230313436303132414230303035413803");
const QByteArray writeAnswer = hex("023031343730464503");

SimScript::Responder always(const QByteArray &answer)
{
    return [answer](const QByteArray &) { return answer; };
}

// Register n holds its own address plus n, so every read tells which
// request it answers.
QByteArray answerWithAddresses(const QByteArray &request)
{
    const SimRequest r = SimFrame::parseRequest(request);
    if (r.error != SimErrorCode::none)
        return QByteArray();
    QVector<quint16> registers;
    for (int i = 0; i < r.count; ++i)
        registers << quint16(r.start + i);
    return SimFrame::answer(r, SimErrorCode::none, SimFrame::registerData(registers));
}

} // namespace

Q_DECLARE_METATYPE(Transport)
Q_DECLARE_METATYPE(Command)

class TestLinkCommands : public QObject
{
    Q_OBJECT
private slots:
    void workedExamples_data();
    void workedExamples();
    void unusableAnswers_data();
    void unusableAnswers();
    void noAnswer_data();
    void noAnswer();
    void linkDownSendsNothing();
    void answersInPieces_data();
    void answersInPieces();
    void lateAnswerIsDiscarded_data();
    void lateAnswerIsDiscarded();
    void slowSerialLines_data();
    void slowSerialLines();
    void debugLines();
    void debugLinesOnSerialWithoutAnswer();
    void nestedCommandRefused();
};

void TestLinkCommands::workedExamples_data()
{
    addColumns<Transport, Command, QByteArray, QByteArray, QByteArray>(
        "transport", "command", "answer", "request", "data");

    for (Transport t : { Tcp, Pty }) {
        const char *name = t == Tcp ? "tcp" : "pty";
        QTest::addRow("%s bit read", name) << t << BitRead << bitAnswer
            << hex("023031343430335830303130343703") << hex("010001");
        QTest::addRow("%s register read", name) << t << RegisterRead << registerAnswer
            << hex("02303134363032523030313030373203") << hex("01020a0b00000005");
        QTest::addRow("%s register write", name) << t << RegisterWrite << writeAnswer
            << hex("0230313437303144303030303531324142344503") << QByteArray();
    }
}

void TestLinkCommands::workedExamples()
{
    QFETCH(Transport, transport);
    QFETCH(Command, command);
    QFETCH(QByteArray, answer);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, data);

    Rig rig;
    rig.plc.setResponder(always(answer));
    QVERIFY(rig.open(transport));
    QByteArray out("kept");
    QCOMPARE(workedCall(rig.link, command, &out), 0);
    QCOMPARE(out.toHex(), (QByteArray("kept") + data).toHex()); // appended
    QCOMPARE(rig.plc.requests(), QList<QByteArray>{ request });
}

void TestLinkCommands::unusableAnswers_data()
{
    using Fault = LinkVerdict;
    addColumns<Command, QByteArray, int>("command", "answer", "fault");

    QByteArray badSum = registerAnswer;
    badSum[14] = '9';
    QTest::newRow("bad checksum") << RegisterRead << badSum << int(Fault::Integrity);
    QTest::newRow("no start byte") << RegisterRead << registerAnswer.mid(1) << int(Fault::Integrity);
    QTest::newRow("no end byte") << RegisterRead << registerAnswer.chopped(1) << int(Fault::Integrity);
    QTest::newRow("noise") << RegisterRead << QByteArray("hello world\x03") << int(Fault::Integrity);
    QTest::newRow("other station") << RegisterRead << SimFrame::frame("02460" "12AB0005")
                                   << int(Fault::Echo);
    QTest::newRow("other command") << RegisterRead << SimFrame::frame("01440" "12AB0005")
                                   << int(Fault::Echo);
    QTest::newRow("PLC error") << RegisterRead << SimFrame::frame("01461") << int(Fault::PlcError);
    QTest::newRow("PLC error with data") << RegisterRead << SimFrame::frame("01464" "12AB0005")
                                         << int(Fault::PlcError);
    QTest::newRow("short") << RegisterRead << SimFrame::frame("01460" "12AB000") << int(Fault::Length);
    QTest::newRow("no data") << RegisterRead << SimFrame::frame("01460") << int(Fault::Length);
    QTest::newRow("extra data") << RegisterRead << SimFrame::frame("01460" "12AB00050")
                                << int(Fault::Length);
    QTest::newRow("lower-case digit") << RegisterRead << SimFrame::frame("01460" "12ab0005")
                                      << int(Fault::DataChars);
    QTest::newRow("not a digit") << RegisterRead << SimFrame::frame("01460" "12AB00G5")
                                 << int(Fault::DataChars);
    QTest::newRow("bit not 0 or 1") << BitRead << SimFrame::frame("01440" "121") << int(Fault::DataChars);
    QTest::newRow("bits short") << BitRead << SimFrame::frame("01440" "10") << int(Fault::Length);
    QTest::newRow("write refused") << RegisterWrite << SimFrame::frame("01471") << int(Fault::PlcError);
    QTest::newRow("write ack with data") << RegisterWrite << SimFrame::frame("01470" "00")
                                         << int(Fault::Length);
    QTest::newRow("write ack of 8 bytes") << RegisterWrite << hex("0230313437304603")
                                          << int(Fault::Integrity);
}

void TestLinkCommands::unusableAnswers()
{
    QFETCH(Command, command);
    QFETCH(QByteArray, answer);
    QFETCH(int, fault);

    QCOMPARE(int(workedRequest(command).check(answer).fault), fault);

    Rig rig;
    rig.plc.setResponder(always(answer));
    QVERIFY(rig.open(Tcp));
    QByteArray out("kept");
    QCOMPARE(workedCall(rig.link, command, &out), -1);
    QCOMPARE(out, QByteArray("kept"));
    QCOMPARE(int(rig.link.verdict().fault), fault); // the same verdict reaches the caller
}

void TestLinkCommands::noAnswer_data()
{
    QTest::addColumn<Transport>("transport");
    QTest::newRow("tcp") << Tcp;
    QTest::newRow("pty") << Pty;
}

void TestLinkCommands::noAnswer()
{
    QFETCH(Transport, transport);
    Rig rig;
    QVERIFY(rig.open(transport));
    QByteArray out("kept");
    QCOMPARE(workedCall(rig.link, RegisterRead, &out), -2);
    QCOMPARE(workedCall(rig.link, RegisterWrite, &out), -2);
    QCOMPARE(out, QByteArray("kept"));
    QCOMPARE(rig.plc.requests().size(), 2);
}

void TestLinkCommands::linkDownSendsNothing()
{
    MessageCapture log;
    QByteArray out("kept");

    CmdNorvo_TCP never;
    never.debugOn = true;
    QCOMPARE(workedCall(never, BitRead, &out), -3);
    QCOMPARE(workedCall(never, RegisterWrite, &out), -3);

    // A drop nobody has noticed yet is found before anything is sent.
    Rig dropped;
    QVERIFY(dropped.open(Tcp));
    dropped.link.debugOn = true;
    dropped.plc.dropConnection();
    QThread::msleep(100);
    QCOMPARE(workedCall(dropped.link, RegisterRead, &out), -3);
    QCOMPARE(workedCall(dropped.link, RegisterWrite, &out), -3);

    Rig closed;
    QVERIFY(closed.open(Pty));
    closed.link.debugOn = true;
    QCOMPARE(closed.link.serialDisConnectDrive(), 0);
    QCOMPARE(workedCall(closed.link, BitRead, &out), -3);

    QCOMPARE(out, QByteArray("kept"));
    QCOMPARE(log.lines(QtDebugMsg), QStringList());
    QVERIFY(dropped.plc.requests().isEmpty());
    QVERIFY(closed.plc.requests().isEmpty());
}

void TestLinkCommands::answersInPieces_data()
{
    addColumns<Transport, int, int>("transport", "pauseMs", "result");
    QTest::newRow("tcp, 15 ms apart") << Tcp << 15 << 0;
    QTest::newRow("pty, two bursts 15 ms apart") << Pty << 15 << 0;
    // The second piece comes after the time-out: the first alone is refused.
    QTest::newRow("tcp, 150 ms apart") << Tcp << 150 << -1;
    QTest::newRow("pty, 150 ms apart") << Pty << 150 << -1;
}

void TestLinkCommands::answersInPieces()
{
    QFETCH(Transport, transport);
    QFETCH(int, pauseMs);
    QFETCH(int, result);

    Rig rig;
    rig.plc.setResponder(always(registerAnswer));
    rig.plc.setSplit(7, pauseMs);
    QVERIFY(rig.open(transport));
    QByteArray out;
    QCOMPARE(workedCall(rig.link, RegisterRead, &out), result);
    QCOMPARE(out, result == 0 ? hex("01020a0b00000005") : QByteArray());
}

void TestLinkCommands::lateAnswerIsDiscarded_data()
{
    addColumns<Transport, bool>("transport", "received");
    QTest::newRow("tcp, in the buffer") << Tcp << true;
    QTest::newRow("tcp, unread in the socket") << Tcp << false;
    QTest::newRow("pty, in the buffer") << Pty << true;
    QTest::newRow("pty, unread in the port") << Pty << false;
}

void TestLinkCommands::lateAnswerIsDiscarded()
{
    QFETCH(Transport, transport);
    QFETCH(bool, received);

    Rig rig;
    rig.plc.setResponder(answerWithAddresses);
    rig.plc.setAnswerDelay(900); // well after the exchange gives up
    QVERIFY(rig.open(transport));

    QByteArray out;
    QCOMPARE(rig.link.Read_area(1, "0001", 1, &out, NorvoArea::Area_D, "D1"), -2);
    rig.plc.setAnswerDelay(0);
    QVERIFY(rig.plc.waitForAnswers(rig.plc.openingReads() + 1, 5000));
    if (received) // taken in between calls, and dropped as owed
        QTRY_COMPARE_WITH_TIMEOUT(rig.link.owedAnswers(), 0, 5000);
    else
        QThread::msleep(50); // on the wire, not yet read by the link

    // The answer for 0001 would pass every check; only its timing gives it away.
    QCOMPARE(rig.link.Read_area(1, "0002", 1, &out, NorvoArea::Area_D, "D2"), 0);
    QCOMPARE(out.toHex(), QByteArray("00000002"));
    QCOMPARE(rig.plc.requests().size(), 2);
}

void TestLinkCommands::slowSerialLines_data()
{
    addColumns<int, int>("baud", "result");
    // 10 registers: 16 bytes out, 49 back. At 1200 baud they need about
    // 540 ms on the wire, so the exchange waits that much longer; at
    // 115200 a 250 ms gap inside the answer is past its time-out.
    QTest::newRow("1200") << 1200 << 0;
    QTest::newRow("115200") << 115200 << -1;
}

void TestLinkCommands::slowSerialLines()
{
    QFETCH(int, baud);
    QFETCH(int, result);

    Rig rig;
    rig.plc.setResponder(answerWithAddresses);
    rig.plc.setSplit(1, 250);
    QVERIFY(rig.open(Pty, baud));
    QByteArray out;
    QCOMPARE(rig.link.Read_area(1, "0000", 10, &out, NorvoArea::Area_D, "D0"), result);
    QCOMPARE(out.size(), result == 0 ? 40 : 0);
}

void TestLinkCommands::debugLines()
{
    MessageCapture log;
    Rig rig;
    // How many lines were written when the PLC saw each request.
    auto seen = std::make_shared<QList<int>>();
    rig.plc.setResponder([&log, seen](const QByteArray &request) {
        *seen << log.count();
        const QByteArray command = request.mid(3, 2);
        return command == "44" ? bitAnswer : command == "46" ? registerAnswer : writeAnswer;
    });
    QVERIFY(rig.open(Tcp));
    QByteArray out;
    QCOMPARE(workedCall(rig.link, BitRead, &out), 0); // the link's opening read goes before it
    rig.plc.clearRequests();
    seen->clear();
    rig.link.debugOn = true;

    for (Command c : { BitRead, RegisterRead, RegisterWrite })
        QCOMPARE(workedCall(rig.link, c, &out), 0);

    const QString at = QStringLiteral(" 127.0.0.1:%1 ").arg(rig.plc.tcpPort());
    const QStringList expected {
        "lib[Norvo]读命令" + at + "Area=X10  len = 3 msg : 023031343430335830303130343703",
        "lib[Norvo]响应" + at + "Area=X10  len = 3 msg : 023031343430313031384403",
        "lib[Norvo]读命令" + at + "Area=R100  len = 2 msg : 02303134363032523030313030373203",
        "lib[Norvo]响应" + at + "Area=R100  len = 2 msg : 0230313436303132414230303035413803",
        "写命令" + at + "Area=D5  len = 1 msg : 0230313437303144303030303531324142344503",
        "响应" + at + "Area=D5  len = 1 msg : 023031343730464503",
    };
    QCOMPARE(log.lines(QtDebugMsg), expected);
    // The bit read writes its request line before sending, the others after.
    QCOMPARE(*seen, (QList<int>{ 1, 2, 4 }));

    log.clear();
    rig.link.debugOn = false;
    for (Command c : { BitRead, RegisterRead, RegisterWrite })
        QCOMPARE(workedCall(rig.link, c, &out), 0);
    QCOMPARE(log.count(), 0);
}

void TestLinkCommands::debugLinesOnSerialWithoutAnswer()
{
    MessageCapture log;
    Rig rig;
    QVERIFY(rig.open(Pty));
    rig.link.debugOn = true;
    QByteArray out;
    rig.plc.setOpeningReadsAnswered(false);
    QCOMPARE(workedCall(rig.link, RegisterRead, &out), -2);
    // The link's opening read (13 bits from X0) went unanswered: the
    // request was not sent.
    QCOMPARE(log.lines(QtDebugMsg), (QStringList{
        "lib[Norvo]读命令 :0 Area=X0  len = 13 msg : 023031343430445830303030353703",
        "lib[Norvo]响应 :0 Area=X0  len = 13 msg : ",
    }));
}

void TestLinkCommands::nestedCommandRefused()
{
    Rig rig;
    rig.plc.setResponder(always(registerAnswer));
    rig.plc.setAnswerDelay(30);
    QVERIFY(rig.open(Tcp));
    rig.link.debugOn = true;

    // Runs inside the outer exchange's waits, like a host timer would.
    int nested = 1;
    QByteArray nestedOut("kept");
    QTimer::singleShot(0, [&] {
        QVERIFY(rig.link.exchangeRunning());
        nested = workedCall(rig.link, RegisterRead, &nestedOut);
    });
    MessageCapture log;
    QByteArray out;
    QCOMPARE(workedCall(rig.link, RegisterRead, &out), 0);
    QCOMPARE(out, hex("01020a0b00000005"));
    QCOMPARE(nested, -3);
    QCOMPARE(nestedOut, QByteArray("kept"));
    QCOMPARE(rig.plc.requests().size(), 1);
    // The outer call's lines only: its opening read's and its own.
    QCOMPARE(log.lines(QtDebugMsg).size(), 4);
    QVERIFY(!rig.link.exchangeRunning());
}

QTEST_GUILESS_MAIN(TestLinkCommands)
#include "tst_linkcommands.moc"
