// The simulator's scripted mode, as tests play the PLC with it: requests
// cut out of noise and logged, answers in pieces, on TCP and on a pty.

#include "simframe.h"
#include "simscriptedplc.h"

#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

class TestSimScript : public QObject
{
    Q_OBJECT
private slots:
    void overTcp();
    void overPty();
};

void TestSimScript::overTcp()
{
    SimScriptedPlc plc;
    plc.setResponder([](const QByteArray &request) {
        const SimRequest r = SimFrame::parseRequest(request);
        return r.error == SimErrorCode::none ? SimFrame::answer(r, SimErrorCode::none, "1") : QByteArray();
    });
    plc.setSplit(4, 30);
    QVERIFY(plc.listenTcp());

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, plc.tcpPort());
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(plc.waitForConnections(1, 5000));

    // A request in two writes, after some noise, is still one request.
    const QByteArray frame = QByteArray::fromHex("02 30 31 34 34 30 31 58 30 30 30 30 34 34 03");
    client.write("zz" + frame.left(5));
    client.flush();
    QTest::qWait(20);
    client.write(frame.mid(5));
    client.flush();

    QVERIFY(plc.waitForRequests(1, 5000));
    QCOMPARE(plc.requests(), QList<QByteArray>{ frame });
    QCOMPARE(plc.strayBytes(), QByteArray("zz"));

    const QByteArray expected = QByteArray::fromHex("02 30 31 34 34 30 31 32 43 03");
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < expected.size() && clock.elapsed() < 5000) {
        if (client.waitForReadyRead(100))
            got += client.readAll();
    }
    QCOMPARE(got, expected);
    QVERIFY(plc.waitForAnswers(1, 5000));

    // Unsolicited bytes, then the connection dropped.
    plc.sendRaw("\x02" "xyz\x03");
    QVERIFY(client.waitForReadyRead(5000));
    QCOMPARE(client.readAll(), QByteArray("\x02" "xyz\x03"));
    plc.dropConnection();
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
}

void TestSimScript::overPty()
{
    SimScriptedPlc plc;
    plc.setResponder([](const QByteArray &) { return SimFrame::frame("02470"); });
    QVERIFY(plc.openPty());
    QVERIFY(plc.waitForConnections(1, 0));

    const int fd = ::open(plc.ptyPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    termios tio {};
    QVERIFY(plc.lineSettings(&tio));
    QVERIFY(!(tio.c_lflag & (ECHO | ICANON)));

    const QByteArray frame = QByteArray::fromHex("02 30 32 34 37 30 30 44 30 30 30 30 30 39 33 03");
    QCOMPARE(int(::write(fd, frame.constData(), size_t(frame.size()))), frame.size());
    QVERIFY(plc.waitForAnswers(1, 5000));

    QByteArray got;
    pollfd p { fd, POLLIN, 0 };
    while (got.size() < 9 && ::poll(&p, 1, 2000) > 0) {
        char buf[64];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        got.append(buf, int(n));
    }
    ::close(fd);
    QCOMPARE(plc.requests(), QList<QByteArray>{ frame });
    QCOMPARE(got, QByteArray::fromHex("02 30 32 34 37 30 46 46 03"));
}

QTEST_GUILESS_MAIN(TestSimScript)
#include "tst_simscript.moc"
