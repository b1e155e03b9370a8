// SPDX-License-Identifier: LGPL-2.1-or-later
// Opening, watching and tearing down the serial and TCP links, against a
// loopback peer and a pseudo-terminal.
#include "AreaType.h"
#include "CmdNorvo_TCP.h"
#include "LinkVerdict.h"
#include "MessageCapture.h"
#include "TestTable.h"
#include "simscriptedplc.h"

#include <QtNetwork/QTcpServer>
#include <QtTest/QtTest>

#include <QtSerialPort/QSerialPort>

class TestLinkManager : public QObject
{
    Q_OBJECT
private slots:
    void tcpConnectAndStatus();
    void tcpRefusedOrBadAddress();
    void peerCloseLogsOneWarning();
    void reconnectMovesToTheNewPeer();
    void teardownOrder();
    void serialOpensPty();
    void serialLineSettings_data();
    void serialLineSettings();
    void serialIdleTimeFollowsBaud();
    void serialLineThatVanishes();
    void disconnectDoesNotHang();
};

void TestLinkManager::tcpConnectAndStatus()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    CmdNorvo_TCP link;
    QCOMPARE(link.Connection_status(), -3);
    QCOMPARE(link.EthDisConnectDrive(), 1);
    QCOMPARE(link.EthConnectDrive("127.0.0.1", server.serverPort()), 0);
    QCOMPARE(link.Connection_status(), 0);
    QVERIFY(server.waitForNewConnection(5000));
}

void TestLinkManager::tcpRefusedOrBadAddress()
{
    // A port nobody listens on: take one from a server and close it.
    quint16 port = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
    }
    MessageCapture log;
    CmdNorvo_TCP link;
    QCOMPARE(link.EthConnectDrive("127.0.0.1", port), -3);
    QCOMPARE(link.Connection_status(), -3);
    QCOMPARE(link.EthConnectDrive("localhost", port), -1);
    QCOMPARE(link.EthConnectDrive("", port), -1);
    QCOMPARE(link.Connection_status(), -3);
    QCOMPARE(log.lines(QtWarningMsg), QStringList()); // never connected, nothing dropped
}

void TestLinkManager::peerCloseLogsOneWarning()
{
    SimScriptedPlc plc;
    QVERIFY(plc.listenTcp());
    CmdNorvo_TCP link;
    // Connecting twice must not double the signal connections.
    QCOMPARE(link.EthConnectDrive("127.0.0.1", plc.tcpPort()), 0);
    QCOMPARE(link.EthConnectDrive("127.0.0.1", plc.tcpPort()), 0);
    QVERIFY(plc.waitForConnections(2, 5000));

    MessageCapture log;
    plc.dropConnection();
    QTRY_COMPARE_WITH_TIMEOUT(link.Connection_status(), -3, 5000);
    QTest::qWait(50); // room for a duplicate line to show up
    const QString expected = QStringLiteral("lib[Norvo]127.0.0.1:%1 Disconnected=%2")
                                 .arg(plc.tcpPort())
                                 .arg(int(QAbstractSocket::RemoteHostClosedError));
    QCOMPARE(log.lines(QtWarningMsg), QStringList{ expected });
    QCOMPARE(log.count(), 1);
}

void TestLinkManager::reconnectMovesToTheNewPeer()
{
    // A second connect while connected must reach the new address, not
    // report success for the old link.
    SimScriptedPlc first, second;
    QVERIFY(first.listenTcp());
    QVERIFY(second.listenTcp());
    CmdNorvo_TCP link;
    QCOMPARE(link.EthConnectDrive("127.0.0.1", first.tcpPort()), 0);
    MessageCapture log;
    QCOMPARE(link.EthConnectDrive("127.0.0.1", second.tcpPort()), 0);
    QVERIFY(second.waitForConnections(1, 5000));
    QCOMPARE(link.Connection_status(), 0);
    // The old link's drop is logged under its own address.
    const QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith(QStringLiteral("lib[Norvo]127.0.0.1:%1 Disconnected=")
                                             .arg(first.tcpPort())),
             qPrintable(warnings.first()));
}

void TestLinkManager::teardownOrder()
{
    SimScriptedPlc plc;
    QVERIFY(plc.listenTcp());
    SimScriptedPlc pty; // a silent PLC on a pty
    QVERIFY(pty.openPty());

    CmdNorvo_TCP link;
    QCOMPARE(link.DestroyFree(), 1);
    QCOMPARE(link.EthConnectDrive("127.0.0.1", plc.tcpPort()), 0);
    QVERIFY(plc.waitForConnections(1, 5000));
    // One link at a time: opening the line closes the socket (and says so).
    MessageCapture log;
    QCOMPARE(link.serialConnectDrive(pty.ptyPath(), 9600, 8, 1, "N"), 0);
    QCOMPARE(log.lines(QtWarningMsg).size(), 1);
    QVERIFY(link.serialLineInUse());
    QCOMPARE(link.Connection_status(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(plc.server().connectionCount(), 0, 5000);

    // And back: the socket closes the line.
    QCOMPARE(link.EthConnectDrive("127.0.0.1", plc.tcpPort()), 0);
    QCOMPARE(link.serialDisConnectDrive(), 1);
    QCOMPARE(link.Connection_status(), 0);

    // Teardown takes both objects, then there is nothing left.
    QCOMPARE(link.serialConnectDrive(pty.ptyPath(), 9600, 8, 1, "N"), 0);
    QCOMPARE(link.DestroyFree(), 0);
    QCOMPARE(link.Connection_status(), -3);
    QCOMPARE(link.DestroyFree(), 1);
    QCOMPARE(link.waitForReady(10), 1);
}

void TestLinkManager::serialOpensPty()
{
    SimScriptedPlc pty; // a silent PLC on a pty
    QVERIFY(pty.openPty());
    CmdNorvo_TCP link;
    QCOMPARE(link.serialDisConnectDrive(), 1);
    QCOMPARE(link.serialConnectDrive(pty.ptyPath(), 9600, 8, 1, "N"), 0);
    QCOMPARE(link.Connection_status(), 0);
    // Opening an open port again reopens it.
    QCOMPARE(link.serialConnectDrive(pty.ptyPath(), 19200, 8, 1, "N"), 0);
    QCOMPARE(link.Connection_status(), 0);
    QCOMPARE(link.serialDisConnectDrive(), 0);
    QCOMPARE(link.serialDisConnectDrive(), 1);
    QCOMPARE(link.Connection_status(), -3);

    QCOMPARE(link.serialConnectDrive("/dev/norvo-no-such-device", 9600, 8, 1, "N"), -1);
    QCOMPARE(link.Connection_status(), -3);
}

void TestLinkManager::serialLineSettings_data()
{
    addColumns<int, int, int, QString, int, int, int, int>(
        "baud", "dataBits", "stopBits", "parity",
        "expectedBaud", "expectedDataBits", "expectedStopBits", "expectedParity");

    // A pty accepts only 8 data bits; other sizes cannot be seen here.
    QTest::newRow("2400 8 2 odd") << 2400 << 8 << 2 << "odd" << 2400 << 8
                                  << int(QSerialPort::TwoStop) << int(QSerialPort::OddParity);
    QTest::newRow("even, lower case") << 4800 << 8 << 3 << "e" << 4800 << 8
                                      << int(QSerialPort::OneAndHalfStop) << int(QSerialPort::EvenParity);
    // N wins over E and O, whatever the order in the text.
    QTest::newRow("none before even and odd") << 115200 << 8 << 1 << "oEn" << 115200 << 8
                                              << int(QSerialPort::OneStop) << int(QSerialPort::NoParity);
    // Unsupported values leave the settings of the earlier open (2400 8 2 O).
    QTest::newRow("unsupported kept") << 300 << 9 << 4 << "x" << 2400 << 8
                                      << int(QSerialPort::TwoStop) << int(QSerialPort::OddParity);
}

void TestLinkManager::serialLineSettings()
{
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, stopBits);
    QFETCH(QString, parity);
    QFETCH(int, expectedBaud);
    QFETCH(int, expectedDataBits);
    QFETCH(int, expectedStopBits);
    QFETCH(int, expectedParity);

    SimScriptedPlc pty; // a silent PLC on a pty
    QVERIFY(pty.openPty());
    CmdNorvo_TCP link;
    QCOMPARE(link.serialConnectDrive(pty.ptyPath(), 2400, 8, 2, "O"), 0);
    QCOMPARE(link.serialConnectDrive(pty.ptyPath(), baud, dataBits, stopBits, parity), 0);

    const QSerialPort &port = *link.serialPort;
    QCOMPARE(port.baudRate(QSerialPort::Input), expectedBaud);
    QCOMPARE(port.baudRate(QSerialPort::Output), expectedBaud);
    QCOMPARE(int(port.dataBits()), expectedDataBits);
    QCOMPARE(int(port.parity()), expectedParity);
    QCOMPARE(port.flowControl(), QSerialPort::NoFlowControl);
    // Linux has no 1.5 stop bits; the port refuses it and keeps its value.
    if (expectedStopBits != int(QSerialPort::OneAndHalfStop))
        QCOMPARE(int(port.stopBits()), expectedStopBits);
}

void TestLinkManager::serialIdleTimeFollowsBaud()
{
    SimScriptedPlc pty; // a silent PLC on a pty
    QVERIFY(pty.openPty());
    CmdNorvo_TCP link;
    QCOMPARE(link.receiveIdleMs(), 2);
    // In this order: faster rates and unsupported ones keep the last value.
    const struct {
        int baud;
        int idleMs;
    } steps[] = { { 1200, 2 }, { 2400, 10 }, { 4800, 6 }, { 9600, 3 }, { 19200, 3 }, { 300, 3 } };
    for (const auto &step : steps) {
        QCOMPARE(link.serialConnectDrive(pty.ptyPath(), step.baud, 8, 1, "N"), 0);
        QVERIFY2(link.receiveIdleMs() == step.idleMs,
                 qPrintable(QStringLiteral("%1 baud: %2 ms").arg(step.baud).arg(link.receiveIdleMs())));
    }
}

// The far end of the line goes (a USB adapter unplugged, a simulator
// restarted): a dropped link, one warning naming the port, then "not
// connected" until the line is opened again.
void TestLinkManager::serialLineThatVanishes()
{
    SimScriptedPlc plc;
    plc.setResponder([](const QByteArray &) { return QByteArray(); });
    QVERIFY(plc.openPty());
    const QString path = plc.ptyPath();
    CmdNorvo_TCP link;
    QCOMPARE(link.serialConnectDrive(path, 9600, 8, 1, "N"), 0);

    MessageCapture log;
    plc.server().stop();
    QByteArray out;
    QTRY_COMPARE_WITH_TIMEOUT(link.Read_area(1, "0000", 1, &out, NorvoArea::Area_D, "D0"), -3, 5000);
    QCOMPARE(link.Connection_status(), -3);
    QCOMPARE(int(link.verdict().fault), int(LinkVerdict::NotConnected));
    const QStringList warnings = log.lines(QtWarningMsg);
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().startsWith("lib[Norvo]" + path + " Disconnected="), qPrintable(warnings.first()));

    // A new line at the same place works at once.
    SimScriptedPlc again;
    QVERIFY(again.openPty());
    QCOMPARE(link.serialConnectDrive(again.ptyPath(), 9600, 8, 1, "N"), 0);
    QCOMPARE(link.Connection_status(), 0);
}

// A socket whose peer reads nothing keeps unsent bytes: closing it must
// not wait for them (a host's disconnect would hang for half a minute).
void TestLinkManager::disconnectDoesNotHang()
{
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    CmdNorvo_TCP link;
    QCOMPARE(link.EthConnectDrive("127.0.0.1", server.serverPort()), 0);
    QVERIFY(server.waitForNewConnection(5000));
    QTcpSocket *peer = server.nextPendingConnection();
    peer->setReadBufferSize(1);
    QCOMPARE(link.Only_send(QByteArray(32 << 20, 'x')), 0);
    QElapsedTimer took;
    took.start();
    QCOMPARE(link.EthDisConnectDrive(), 0);
    QCOMPARE(link.DestroyFree(), 0);
    QVERIFY2(took.elapsed() < 5000, qPrintable(QString::number(took.elapsed())));
}

QTEST_GUILESS_MAIN(TestLinkManager)
#include "tst_linkmanager.moc"
