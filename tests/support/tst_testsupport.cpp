// The test helpers themselves: frames from the PLC's side against the
// protocol's known bytes, and the scripted peer on TCP and on a pty.
#include "MessageCapture.h"
#include "PlcFrame.h"
#include "PlcPeer.h"

#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

class TestSupport : public QObject
{
    Q_OBJECT
private slots:
    void frames();
    void parsingRejectsBrokenRequests();
    void peerOverTcp();
    void peerOverPty();
    void messageCapture();
};

void TestSupport::frames()
{
    // Bit read of 3 points at X0010, station 1: the sum of the bytes is 0x247.
    const QByteArray bitRead = QByteArray::fromHex("023031343430335830303130");
    QCOMPARE(PlcFrame::checksum(bitRead), QByteArray("47"));
    QCOMPARE(PlcFrame::answer(1, "44", '0', "101"),
             QByteArray::fromHex("023031343430313031384403"));
    QCOMPARE(PlcFrame::answer(1, "46", '0', PlcFrame::registerChars({ 0x12AB, 0x0005 })),
             QByteArray::fromHex("0230313436303132414230303035413803"));
    QCOMPARE(PlcFrame::answer(1, "47", '0'), QByteArray::fromHex("023031343730464503"));

    const auto read = PlcFrame::parseRequest(bitRead + "47\x03");
    QVERIFY2(read.valid, qPrintable(read.fault));
    QCOMPARE(read.station, 1);
    QCOMPARE(read.command, QByteArray("44"));
    QCOMPARE(read.count, 3);
    QCOMPARE(read.area, QByteArray("X"));
    QCOMPARE(read.address, QByteArray("0010"));

    const auto write = PlcFrame::parseRequest(
        QByteArray::fromHex("0230313437303144303030303531324142344503"));
    QVERIFY2(write.valid, qPrintable(write.fault));
    QCOMPARE(write.area, QByteArray("D0"));
    QCOMPARE(write.address, QByteArray("0005"));
    QCOMPARE(write.data, QByteArray("12AB"));
    QCOMPARE(PlcFrame::answerTo(write), QByteArray::fromHex("023031343730464503"));
}

void TestSupport::parsingRejectsBrokenRequests()
{
    const QByteArray good = QByteArray::fromHex("02303134363032523030313030373203");
    QVERIFY(PlcFrame::parseRequest(good).valid);

    QByteArray badSum = good;
    badSum[13] = '8';
    QByteArray shortWrite = QByteArray::fromHex("0230313437303144303030303531324142344503");
    shortWrite.remove(13, 1);
    for (const QByteArray &frame : { badSum, good.left(15), good.mid(1), shortWrite,
                                     QByteArray("\x02" "0199\x03") }) {
        QVERIFY2(!PlcFrame::parseRequest(frame).valid, frame.toHex().constData());
    }
}

void TestSupport::peerOverTcp()
{
    PlcPeer plc;
    plc.setResponder([](const QByteArray &request) {
        const auto r = PlcFrame::parseRequest(request);
        return r.valid ? PlcFrame::answerTo(r, "1") : QByteArray();
    });
    plc.setSplit(4, 30);
    QVERIFY(plc.listenTcp());

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, plc.tcpPort());
    QVERIFY(client.waitForConnected(5000));
    QVERIFY(plc.waitForConnections(1, 5000));

    // A request in two writes, after some noise, is still one request.
    QByteArray frame = QByteArray::fromHex("023031343430315830303030");
    frame += PlcFrame::checksum(frame) + "\x03";
    client.write("zz" + frame.left(5));
    client.flush();
    QTest::qWait(20);
    client.write(frame.mid(5));
    client.flush();

    QVERIFY(plc.waitForRequests(1, 5000));
    QCOMPARE(plc.requests(), QList<QByteArray>{ frame });
    QCOMPARE(plc.strayBytes(), QByteArray("zz"));

    const QByteArray expected = PlcFrame::answer(1, "44", '0', "1");
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < expected.size() && clock.elapsed() < 5000) {
        if (client.waitForReadyRead(100))
            got += client.readAll();
    }
    QCOMPARE(got, expected);

    plc.dropConnection();
    QTRY_COMPARE_WITH_TIMEOUT(client.state(), QAbstractSocket::UnconnectedState, 5000);
}

void TestSupport::peerOverPty()
{
    PlcPeer plc;
    plc.setResponder([](const QByteArray &) { return PlcFrame::answer(2, "47", '0'); });
    QVERIFY(plc.openPty());

    const int fd = ::open(plc.ptyPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    QByteArray frame = QByteArray::fromHex("02303234373030443030303030");
    frame += PlcFrame::checksum(frame) + "\x03";
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
    QCOMPARE(got, PlcFrame::answer(2, "47", '0'));
}

void TestSupport::messageCapture()
{
    MessageCapture log;
    qDebug("one");
    qWarning("two");
    qDebug() << QStringLiteral("three");
    QCOMPARE(log.lines(QtDebugMsg), (QStringList{ "one", "\"three\"" }));
    QCOMPARE(log.lines(QtWarningMsg), QStringList{ "two" });
    log.clear();
    QCOMPARE(log.count(), 0);
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_testsupport.moc"
