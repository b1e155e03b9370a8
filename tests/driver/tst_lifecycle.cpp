// SPDX-License-Identifier: LGPL-2.1-or-later
// The driver's lifecycle: identity and build text, the debug switch, station
// numbers, connection strings against real links, closing the right link.

#include "PlcBench.h"
#include "TestTable.h"
#include "simscriptedplc.h"
#include "buildinfo.h"
#include "connectionstring.h"

#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <cstring>

namespace {

// A debug command number the interface does not name, as a host may pass it.
EDebugCmdType unnamedDebugCmd(int number)
{
    EDebugCmdType command;
    static_assert(sizeof command == sizeof number, "enum size");
    std::memcpy(&command, &number, sizeof command);
    return command;
}

} // namespace

class TestLifecycle : public QObject
{
    Q_OBJECT
private slots:
    void identity();
    void compileDateWithOneOrTwoDigitDays();
    void buildText();
    void debugSwitch();
    void stationNumbers();
    void parseConnectionStrings_data();
    void parseConnectionStrings();
    void connectionOptions_data();
    void connectionOptions();
    void connectTcp();
    void connectSerial();
    void refusedStringsOpenNothing();
    void disconnectClosesTheStoredLink();
    void destroyFreeThenDelete();
};

void TestLifecycle::identity()
{
    LibNorvoTCP driver;
    CDriveBaseClass *host = &driver;
    QCOMPARE(host->getDriveName(), QString("Norvo"));
    QCOMPARE(host->getversion_number(), QString("V1.2.3 20230221"));
    QCOMPARE(host->DebugCmd(EDebugDriveName), QString("Norvo"));
    QVERIFY(host->DebugCmd(unnamedDebugCmd(4)).isNull());
    QVERIFY(host->DebugCmd(unnamedDebugCmd(-1)).isNull());
    QCOMPARE(driver.metaObject()->className(), "LibNorvoTCP");
    QCOMPARE(qobject_cast<CDriveBaseClass *>(&driver), host);
}

void TestLifecycle::compileDateWithOneOrTwoDigitDays()
{
    // Compilers pad a one-digit day with a blank.
    QCOMPARE(BuildInfo::parseCompileDate("Dec  7 2026"), QDate(2026, 12, 7));
    QCOMPARE(BuildInfo::parseCompileDate("Jan  1 2024"), QDate(2024, 1, 1));
    QCOMPARE(BuildInfo::parseCompileDate("Dec 18 2023"), QDate(2023, 12, 18));
    QVERIFY(!BuildInfo::parseCompileDate("Foo 18 2023").isValid());
    QCOMPARE(BuildInfo::parseCompileTime("11:13:59"), QTime(11, 13, 59));
}

void TestLifecycle::buildText()
{
    QCOMPARE(BuildInfo::buildText(QDate(2023, 12, 18), QTime(11, 13, 59)),
             QString("v1.2.3 2023-12-18 11:13:59"));
    QCOMPARE(BuildInfo::buildText(BuildInfo::parseCompileDate("Dec  7 2026"), QTime(0, 0, 1)),
             QString("v1.2.3 2026-12-07 00:00:01"));

    // This build's own text shows its date, whatever the day.
    LibNorvoTCP driver;
    const QString text = driver.DebugCmd(EDebugBuildInfo);
    QVERIFY(BuildInfo::compileDate().isValid());
    QCOMPARE(text, BuildInfo::buildText(BuildInfo::compileDate(), BuildInfo::compileTime()));
    QVERIFY2(QRegularExpression("^v1\\.2\\.3 \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d$")
                 .match(text)
                 .hasMatch(),
             qPrintable(text));
    QCOMPARE(driver.DebugCmd(EDebugBuildInfo), text);
}

void TestLifecycle::debugSwitch()
{
    LibNorvoTCP driver;
    QCOMPARE(driver.DebugCmd(EDebugStart), QString("StartDebug"));
    QVERIFY(driver.cmd.debugOn);
    QCOMPARE(driver.DebugCmd(EDebugStart), QString("StartDebug"));
    QVERIFY(driver.cmd.debugOn);
    QCOMPARE(driver.DebugCmd(EDebugStop), QString("StopDebug"));
    QVERIFY(!driver.cmd.debugOn);
    driver.DebugCmd(EDebugBuildInfo);
    QVERIFY(!driver.cmd.debugOn);
}

void TestLifecycle::stationNumbers()
{
    PlcBench bench;
    // A station first addressed gets the link's opening read: it counts too.
    bench.plc.setOpeningReadsAnswered(false);
    QVERIFY(bench.connectTcp());
    LibNorvoTCP &driver = bench.driver;
    auto stationOfNextRequest = [&bench, &driver]() {
        bench.plc.clearRequests();
        driver.ReadVariable("D0", DT_Int16, 1);
        return bench.requests().value(0).station;
    };

    QCOMPARE(stationOfNextRequest(), 1);
    QCOMPARE(driver.SetConnectPar("12"), 12);
    QCOMPARE(stationOfNextRequest(), 12);
    // A station the frame cannot carry is refused; the previous one stays.
    QCOMPARE(driver.SetConnectPar("300"), -1);
    QCOMPARE(driver.SetConnectPar("256"), -1);
    QCOMPARE(stationOfNextRequest(), 12);
    QCOMPARE(driver.SetConnectPar("255"), 255);
    QCOMPARE(stationOfNextRequest(), 255);
    // No number reads as 0.
    QCOMPARE(driver.SetConnectPar("x"), 0);
    QCOMPARE(stationOfNextRequest(), 0);
    QCOMPARE(driver.SetConnectPar("-3"), 0);
}

void TestLifecycle::parseConnectionStrings_data()
{
    // fields: port, baud, data, stop, parity | host, port
    addColumns<QString, int, QStringList, bool>("text", "kind", "fields", "complete");

    const int serial = ConnectionString::Serial;
    const int tcp = ConnectionString::Tcp;
    QTest::newRow("serial") << "ttyS1,9600,8,1,N" << serial
                            << QStringList{"ttyS1", "9600", "8", "1", "N"} << true;
    QTest::newRow("extra field") << "ttyS1,9600,7,2,E,x" << serial
                                 << QStringList{"ttyS1", "9600", "7", "2", "E"} << true;
    // Once the commas run out, every further field is the remaining text.
    QTest::newRow("two fields") << "ttyS1,9600" << serial
                                << QStringList{"ttyS1", "9600", "9600", "9600", "9600"} << true;
    QTest::newRow("no port name") << ",9600,8,1,N" << serial
                                  << QStringList{"", "9600", "8", "1", "N"} << false;
    QTest::newRow("baud not a number") << "ttyS1,fast,8,1,N" << serial
                                       << QStringList{"ttyS1", "0", "8", "1", "N"} << false;
    QTest::newRow("no stop bits") << "ttyS1,9600,8,,N" << serial
                                  << QStringList{"ttyS1", "9600", "8", "0", "N"} << false;
    QTest::newRow("tcp") << "192.168.1.5:500" << tcp << QStringList{"192.168.1.5", "500"} << true;
    QTest::newRow("no port") << "192.168.1.5:" << tcp << QStringList{"192.168.1.5", "0"} << false;
    QTest::newRow("port not a number") << "192.168.1.5:abc" << tcp
                                       << QStringList{"192.168.1.5", "0"} << false;
    QTest::newRow("no host") << ":500" << tcp << QStringList{"", "500"} << false;
    // A ";" makes it TCP, but without ":" the port is the whole text.
    QTest::newRow("semicolon") << "192.168.1.5;500" << tcp
                               << QStringList{"192.168.1.5", "0"} << false;
    // Ports beyond 16 bits would reach another port.
    QTest::newRow("port too large") << "127.0.0.1:70000" << tcp
                                    << QStringList{"127.0.0.1", "70000"} << false;
    QTest::newRow("port negative") << "127.0.0.1:-5" << tcp << QStringList{"127.0.0.1", "-5"}
                                   << false;
    QTest::newRow("no separator") << "192.168.1.5" << int(ConnectionString::Unrecognised)
                                  << QStringList{} << false;
    QTest::newRow("empty") << "" << int(ConnectionString::Unrecognised) << QStringList{} << false;
}

void TestLifecycle::parseConnectionStrings()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    QFETCH(QStringList, fields);
    QFETCH(bool, complete);

    const ConnectionString parsed = ConnectionString::parse(text);
    QCOMPARE(int(parsed.kind), kind);
    QCOMPARE(parsed.isComplete(), complete);
    if (parsed.kind == ConnectionString::Serial) {
        QCOMPARE((QStringList{parsed.portName, QString::number(parsed.baudRate),
                              QString::number(parsed.dataBits), QString::number(parsed.stopBits),
                              parsed.parity}),
                 fields);
    } else if (parsed.kind == ConnectionString::Tcp) {
        QCOMPARE((QStringList{parsed.host, QString::number(parsed.port)}), fields);
    }
}

void TestLifecycle::connectionOptions_data()
{
    // waitMs: the answer wait the string sets (0: learnt), for a complete string.
    addColumns<QString, bool, int>("text", "complete", "waitMs");
    QTest::newRow("tcp") << "127.0.0.1:500;timeout=1000" << true << 1000;
    QTest::newRow("serial") << "/dev/ttyS1,9600,8,1,N;timeout=1000" << true << 1000;
    QTest::newRow("none") << "127.0.0.1:500" << true << 0;
    QTest::newRow("lowest") << "127.0.0.1:500;timeout=50" << true << 50;
    QTest::newRow("highest") << "127.0.0.1:500;timeout=10000" << true << 10000;
    QTest::newRow("the last of two") << "127.0.0.1:500;timeout=500;timeout=700" << true << 700;
    QTest::newRow("too short") << "127.0.0.1:500;timeout=49" << false << 0;
    QTest::newRow("too long") << "/dev/ttyS1,9600,8,1,N;timeout=10001" << false << 0;
    QTest::newRow("no number") << "127.0.0.1:500;timeout=1s" << false << 0;
    QTest::newRow("no value") << "127.0.0.1:500;timeout" << false << 0;
    QTest::newRow("unknown") << "127.0.0.1:500;retries=3" << false << 0;
    QTest::newRow("empty") << "127.0.0.1:500;" << false << 0;
    QTest::newRow("case") << "127.0.0.1:500;Timeout=1000" << false << 0;
}

void TestLifecycle::connectionOptions()
{
    QFETCH(QString, text);
    QFETCH(bool, complete);
    QFETCH(int, waitMs);

    const ConnectionString parsed = ConnectionString::parse(text);
    QCOMPARE(parsed.isComplete(), complete);
    if (complete)
        QCOMPARE(parsed.answerWaitMs, waitMs);
    else
        QVERIFY(!parsed.badOption.isEmpty());
}

void TestLifecycle::connectTcp()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    LibNorvoTCP driver;
    QCOMPARE(driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 0);
    QCOMPARE(driver.tcpLink.host, QString("127.0.0.1"));
    QCOMPARE(driver.tcpLink.port, int(server.serverPort()));
    QCOMPARE(driver.cmd.Connection_status(), 0);

    // Nobody listens on a closed port.
    const quint16 closedPort = server.serverPort();
    server.close();
    LibNorvoTCP other;
    QCOMPARE(other.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(closedPort)), -3);
    QCOMPARE(other.cmd.Connection_status(), -3);
}

void TestLifecycle::connectSerial()
{
    SimScriptedPlc pty; // a silent PLC on a pty
    QVERIFY(pty.openPty());
    LibNorvoTCP driver;
    QCOMPARE(driver.ConnectDrive(pty.ptyPath() + ",9600,8,1,N"), 0);
    QCOMPARE(driver.serialLine.portName, pty.ptyPath());
    QCOMPARE(driver.serialLine.baudRate, 9600);
    QCOMPARE(driver.serialLine.dataBits, 8);
    QCOMPARE(driver.serialLine.stopBits, 1);
    QCOMPARE(driver.serialLine.parity, QString("N"));
    QCOMPARE(driver.cmd.Connection_status(), 0);

    // A device that does not exist: the link refuses, the fields stay stored.
    LibNorvoTCP missing;
    QCOMPARE(missing.ConnectDrive("/dev/norvo-no-such-device,9600"), -1);
    QCOMPARE(missing.serialLine.portName, QString("/dev/norvo-no-such-device"));
    QCOMPARE(missing.serialLine.stopBits, 9600);
    QCOMPARE(missing.serialLine.parity, QString("9600"));
    QCOMPARE(missing.DestroyFree(), 0); // the link made a port object to try it
}

void TestLifecycle::refusedStringsOpenNothing()
{
    LibNorvoTCP driver;
    QCOMPARE(driver.ConnectDrive(",9600,8,1,N"), -1);
    QCOMPARE(driver.serialLine.baudRate, 9600);
    QCOMPARE(driver.ConnectDrive("192.168.1.5;500"), -1);
    QCOMPARE(driver.ConnectDrive("192.168.1.5:"), -1);
    QCOMPARE(driver.ConnectDrive("127.0.0.1:70000"), -1);
    QCOMPARE(driver.tcpLink.port, 70000);
    QCOMPARE(driver.ConnectDrive("127.0.0.1:-5"), -1);
    QCOMPARE(driver.ConnectDrive("127.0.0.1:1;retries=3"), -1);
    QCOMPARE(driver.ConnectDrive("/dev/null,9600,8,1,N;timeout=20"), -1);

    // No separator at all: nothing is stored.
    QCOMPARE(driver.ConnectDrive("192.168.1.5"), -4);
    QCOMPARE(driver.tcpLink.host, QString("127.0.0.1"));
    QCOMPARE(driver.tcpLink.port, 1);
    QCOMPARE(driver.serialLine.portName, QString("/dev/null"));

    // None of them reached the link.
    QCOMPARE(driver.DestroyFree(), 1);
}

void TestLifecycle::disconnectClosesTheStoredLink()
{
    {
        LibNorvoTCP fresh;
        QCOMPARE(fresh.DisConnectDrive(), 1);
    }

    // Serial only.
    SimScriptedPlc pty; // a silent PLC on a pty
    QVERIFY(pty.openPty());
    {
        LibNorvoTCP driver;
        QCOMPARE(driver.ConnectDrive(pty.ptyPath() + ",19200,8,1,E"), 0);
        QCOMPARE(driver.DisConnectDrive(), 0);
        QCOMPARE(driver.DisConnectDrive(), 1);
    }

    // After a move from TCP to a serial line both go: no request may reach
    // either PLC after a disconnect.
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    LibNorvoTCP driver;
    QCOMPARE(driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 0);
    QVERIFY(server.waitForNewConnection(5000));
    QTcpSocket *plcSide = server.nextPendingConnection();
    QVERIFY(plcSide);
    QCOMPARE(driver.ConnectDrive(pty.ptyPath() + ",9600,8,1,N"), 0);

    QCOMPARE(driver.DisConnectDrive(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(plcSide->state(), QAbstractSocket::UnconnectedState, 5000);
    QCOMPARE(driver.cmd.serialDisConnectDrive(), 1);
    QCOMPARE(driver.cmd.Connection_status(), -3);
    QCOMPARE(driver.ReadVariable("D100", DT_Int16).status, 9);

    // A TCP port once stored makes it TCP when no serial line is in use.
    QCOMPARE(driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 0);
    QVERIFY(server.waitForNewConnection(5000));
    plcSide = server.nextPendingConnection();
    QCOMPARE(driver.DisConnectDrive(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(plcSide->state(), QAbstractSocket::UnconnectedState, 5000);
}

void TestLifecycle::destroyFreeThenDelete()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    auto *driver = new LibNorvoTCP;
    QCOMPARE(driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 0);
    QCOMPARE(driver->DestroyFree(), 0);
    QCOMPARE(driver->DestroyFree(), 1);
    QCOMPARE(driver->cmd.Connection_status(), -3);
    delete static_cast<QObject *>(driver);

    // Deleting without DestroyFree works as well.
    auto *connected = new LibNorvoTCP;
    QCOMPARE(connected->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(server.serverPort())), 0);
    delete static_cast<QObject *>(connected);
}

QTEST_GUILESS_MAIN(TestLifecycle)
#include "tst_lifecycle.moc"
