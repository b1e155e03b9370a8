// SPDX-License-Identifier: LGPL-2.1-or-later
// The threaded simulator over real loopback sockets and a real pty, with
// every fault set through its class API, and its scripted mode as the
// driver's tests use it. The client side is a plain socket that blocks its
// thread while it waits, as the driver does.

#include "simframe.h"
#include "simline.h"
#include "simscriptedplc.h"
#include "simserver.h"

#include <QtNetwork/QTcpSocket>
#include <QtSerialPort/QSerialPort>
#include <QtTest/QtTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Generous: the machine is small and shared.
constexpr int answerWaitMs = 5000;

class Client
{
public:
    bool connectTo(quint16 port)
    {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(answerWaitMs);
    }

    void send(const QByteArray &frame)
    {
        socket.write(frame);
        socket.waitForBytesWritten(answerWaitMs);
    }

    // Bytes up to and including the next end byte, or what came in time.
    QByteArray answer(int waitMs = answerWaitMs)
    {
        QDeadlineTimer deadline(waitMs);
        while (!pending.contains('\x03') && !deadline.hasExpired()) {
            if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(deadline.remainingTime())))
                break;
            pending += socket.readAll();
        }
        const int end = pending.indexOf('\x03');
        const QByteArray taken = end < 0 ? pending : pending.left(end + 1);
        pending.remove(0, taken.size());
        return taken;
    }

    // Whatever arrives within `ms`, without waiting for a whole answer.
    QByteArray arrivingWithin(int ms)
    {
        if (pending.isEmpty() && socket.bytesAvailable() == 0)
            socket.waitForReadyRead(ms);
        const QByteArray bytes = pending + socket.readAll();
        pending.clear();
        return bytes;
    }

    QByteArray exchange(const QByteArray &frame)
    {
        send(frame);
        return answer();
    }

    QTcpSocket socket;

private:
    QByteArray pending;
};

QByteArray readD5() { return SimFrame::frame("014601D00005"); }

// Opens a pty's slave as a driver would, in raw mode; -1 when it cannot.
int openRawLine(const QString &path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return -1;
    struct termios raw;
    if (::tcgetattr(fd, &raw) == 0) {
        cfmakeraw(&raw);
        if (::tcsetattr(fd, TCSANOW, &raw) == 0)
            return fd;
    }
    ::close(fd);
    return -1;
}

// Writes a frame to a raw terminal descriptor and reads up to the end byte.
QByteArray exchangeOnFd(int fd, const QByteArray &frame, int waitMs)
{
    QByteArray answer;
    if (::write(fd, frame.constData(), size_t(frame.size())) != frame.size())
        return answer;
    QDeadlineTimer deadline(waitMs);
    while (!answer.endsWith('\x03') && !deadline.hasExpired()) {
        struct pollfd ready = {fd, POLLIN, 0};
        if (::poll(&ready, 1, int(deadline.remainingTime())) <= 0)
            break;
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        answer.append(buffer, int(got));
    }
    return answer;
}

} // namespace

class TestSimServer : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void servesRequestsAndSharesMemory();
    void startAndStop();
    void delayFault();
    void answersKeepTheirOrder();
    void dropFault();
    void badChecksumFault();
    void errorCodeFault();
    void splitFault();
    void dupFault();
    void closeFault();
    void closeOnDemand();
    void randomFaultsRepeatWithTheirSeed();
    void servesAPty();
    void servesSeveralStationsOnAPty();
    void ptyAnswersOnlyOnItsLineSettings();
    void servesASerialLine();
    void scriptedOverTcp();
    void scriptedOverPty();
    void gatewaySerialisesAndForwards();

private:
    SimServer *plc = nullptr;
    Client *client = nullptr;
};

void TestSimServer::init()
{
    plc = new SimServer(1);
    QVERIFY2(plc->startTcp(), qPrintable(plc->errorString()));
    client = new Client;
    QVERIFY(client->connectTo(plc->port()));
}

void TestSimServer::cleanup()
{
    delete client;
    client = nullptr;
    delete plc;
    plc = nullptr;
}

void TestSimServer::servesRequestsAndSharesMemory()
{
    QCOMPARE(plc->listeningOn(), QStringLiteral("tcp 127.0.0.1:%1").arg(plc->port()));
    plc->setValue(SimArea::D, 5, 0xBEEF);
    plc->setBit(SimArea::X, 1, true);
    QCOMPARE(client->exchange(readD5()), SimFrame::frame("01460" "BEEF"));
    QCOMPARE(client->exchange(SimFrame::frame("014402X0000")), SimFrame::frame("01440" "01"));
    QCOMPARE(client->exchange(SimFrame::frame("014701WY0000" "0003")), SimFrame::frame("01470"));
    QVERIFY(plc->bit(SimArea::Y, 0));
    QVERIFY(plc->bit(SimArea::Y, 1));
    QCOMPARE(plc->memory().value(SimArea::WY, 0), quint16(3));

    // Another station's frame is logged but not answered.
    client->send(SimFrame::frame("024601D00005"));
    QVERIFY(client->arrivingWithin(300).isEmpty());
    const QList<QByteArray> log = plc->requestLog();
    QCOMPARE(log.size(), 4);
    QCOMPARE(log.first(), readD5());
    QCOMPARE(log.last(), SimFrame::frame("024601D00005"));

    plc->setStation(2);
    QCOMPARE(client->exchange(SimFrame::frame("024601D00005")), SimFrame::frame("02460" "BEEF"));
    plc->clearRequestLog();
    QVERIFY(plc->requestLog().isEmpty());
}

void TestSimServer::startAndStop()
{
    QVERIFY(plc->isRunning());
    QVERIFY(!plc->startPty());
    QVERIFY(!plc->errorString().isEmpty());

    // A port in use is refused with a reason.
    SimServer second;
    QVERIFY(!second.startTcp(QHostAddress::LocalHost, plc->port()));
    QVERIFY(second.errorString().contains(QString::number(plc->port())));

    const quint16 port = plc->port();
    plc->stop();
    QVERIFY(!plc->isRunning());
    QCOMPARE(plc->port(), quint16(0));
    QVERIFY(plc->listeningOn().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(client->socket.state(), QAbstractSocket::UnconnectedState, answerWaitMs);
    Client late;
    QVERIFY(!late.connectTo(port));

    // Memory survives a restart.
    plc->setValue(SimArea::D, 5, 1);
    QVERIFY(plc->startTcp());
    Client again;
    QVERIFY(again.connectTo(plc->port()));
    QCOMPARE(again.exchange(readD5()), SimFrame::frame("01460" "0001"));
}

void TestSimServer::delayFault()
{
    SimFaults faults;
    faults.delayMs = 400;
    faults.delay = SimFaultRule::always();
    plc->setFaults(faults);

    // The answer cannot come early; it comes whole in the end.
    client->send(readD5());
    QVERIFY(client->arrivingWithin(150).isEmpty());
    QCOMPARE(client->answer(), SimFrame::frame("01460" "0000"));
}

void TestSimServer::answersKeepTheirOrder()
{
    SimFaults faults;
    faults.delayMs = 300;
    faults.delay = SimFaultRule::everyNth(2);
    plc->setFaults(faults);
    plc->setValue(SimArea::D, 1, 1);
    plc->setValue(SimArea::D, 2, 2);

    QCOMPARE(client->exchange(readD5()), SimFrame::frame("01460" "0000"));
    // The second request is delayed, the third not; they still come in order.
    client->send(SimFrame::frame("014601D00001") + SimFrame::frame("014601D00002"));
    QCOMPARE(client->answer(), SimFrame::frame("01460" "0001"));
    QCOMPARE(client->answer(), SimFrame::frame("01460" "0002"));
}

void TestSimServer::dropFault()
{
    SimFaults faults;
    faults.drop = SimFaultRule::everyNth(3);
    plc->setFaults(faults);

    const QByteArray good = SimFrame::frame("01460" "0000");
    QCOMPARE(client->exchange(readD5()), good);
    QCOMPARE(client->exchange(readD5()), good);
    client->send(readD5());
    QVERIFY(client->arrivingWithin(300).isEmpty());
    QCOMPARE(client->exchange(readD5()), good);
    QCOMPARE(plc->requestLog().size(), 4);

    // Setting faults restarts the count.
    plc->setFaults(faults);
    QCOMPARE(client->exchange(readD5()), good);
}

void TestSimServer::badChecksumFault()
{
    SimFaults faults;
    faults.badChecksum = SimFaultRule::always();
    plc->setFaults(faults);

    const QByteArray answer = client->exchange(readD5());
    const QByteArray good = SimFrame::frame("01460" "0000");
    QCOMPARE(answer.size(), good.size());
    QCOMPARE(answer.left(10), good.left(10));
    QVERIFY(answer != good);
    QCOMPARE(answer.right(1), QByteArray("\x03"));
}

void TestSimServer::errorCodeFault()
{
    SimFaults faults;
    faults.error = SimFaultRule::everyNth(2);
    faults.errorCode = 'C';
    plc->setFaults(faults);

    QCOMPARE(client->exchange(SimFrame::frame("014701D00005" "0001")), SimFrame::frame("01470"));
    // The refused write is not carried out.
    QCOMPARE(client->exchange(SimFrame::frame("014701D00005" "0002")), SimFrame::frame("0147C"));
    QCOMPARE(plc->value(SimArea::D, 5), quint16(1));
    QCOMPARE(client->exchange(SimFrame::frame("014601D00005")), SimFrame::frame("01460" "0001"));
}

void TestSimServer::splitFault()
{
    SimFaults faults;
    faults.split = SimFaultRule::always();
    faults.splitPauseMs = 400;
    plc->setFaults(faults);

    client->send(SimFrame::frame("014602D00005"));
    const QByteArray first = client->arrivingWithin(answerWaitMs);
    QVERIFY(!first.isEmpty());
    QVERIFY(!first.contains('\x03'));
    QCOMPARE(first + client->answer(), SimFrame::frame("01460" "00000000"));
}

void TestSimServer::dupFault()
{
    SimFaults faults;
    faults.dup = SimFaultRule::always();
    faults.dupPauseMs = 400;
    plc->setFaults(faults);

    const QByteArray good = SimFrame::frame("01460" "0000");
    client->send(readD5());
    QCOMPARE(client->answer(), good);
    QVERIFY(client->arrivingWithin(150).isEmpty());
    QCOMPARE(client->answer(), good);
    QCOMPARE(plc->requestEntries().last().outcome, QStringLiteral("answered, sent twice (dup fault)"));
}

void TestSimServer::closeFault()
{
    SimFaults faults;
    faults.close = SimFaultRule::everyNth(2);
    plc->setFaults(faults);

    QCOMPARE(client->exchange(readD5()), SimFrame::frame("01460" "0000"));
    client->send(readD5());
    QVERIFY(client->arrivingWithin(answerWaitMs).isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(client->socket.state(), QAbstractSocket::UnconnectedState, answerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(plc->connectionCount(), 0, answerWaitMs);

    // A new connection is served; the count goes on (request 3 is answered).
    Client again;
    QVERIFY(again.connectTo(plc->port()));
    QCOMPARE(again.exchange(readD5()), SimFrame::frame("01460" "0000"));
}

void TestSimServer::closeOnDemand()
{
    Client second;
    QVERIFY(second.connectTo(plc->port()));
    QTRY_COMPARE_WITH_TIMEOUT(plc->connectionCount(), 2, answerWaitMs);
    plc->closeConnections();
    QTRY_COMPARE_WITH_TIMEOUT(client->socket.state(), QAbstractSocket::UnconnectedState, answerWaitMs);
    QTRY_COMPARE_WITH_TIMEOUT(second.socket.state(), QAbstractSocket::UnconnectedState, answerWaitMs);
    QCOMPARE(plc->connectionCount(), 0);
    QVERIFY(plc->isRunning());
}

void TestSimServer::randomFaultsRepeatWithTheirSeed()
{
    SimFaults faults;
    faults.drop = SimFaultRule::withChance(0.3);
    faults.badChecksum = SimFaultRule::withChance(0.3);
    faults.seed = 7;

    auto run = [&faults](quint32 seed) {
        faults.seed = seed;
        SimLine line(1);
        line.setFaults(faults);
        QString pattern;
        for (int i = 0; i < 200; ++i) {
            const SimReply reply = line.handle(readD5());
            pattern += reply.action == SimReply::Silent ? QLatin1Char('d')
                    : reply.bytes == SimFrame::frame("01460" "0000") ? QLatin1Char('.') : QLatin1Char('c');
        }
        return pattern;
    };
    const QString first = run(7);
    QCOMPARE(run(7), first);
    QVERIFY(run(8) != first);
    // Roughly the chances asked for (expected 60 drops, 42 bad checksums).
    QVERIFY(first.count(QLatin1Char('d')) > 30 && first.count(QLatin1Char('d')) < 90);
    QVERIFY(first.count(QLatin1Char('c')) > 15 && first.count(QLatin1Char('c')) < 70);
}

void TestSimServer::servesAPty()
{
    SimServer pty(3);
    QVERIFY2(pty.startPty(), qPrintable(pty.errorString()));
    QVERIFY(pty.listeningOn().startsWith(QLatin1String("pty /dev/")));
    QCOMPARE(pty.listeningOn(), QLatin1String("pty ") + pty.ptyPath());
    pty.setValue(SimArea::RT, 9, 0x0102);

    const int line = openRawLine(pty.ptyPath());
    QVERIFY(line >= 0);

    auto exchange = [line](const QByteArray &frame, int waitMs) {
        return exchangeOnFd(line, frame, waitMs);
    };
    // Only station 3 is answered on the shared line, and nothing is echoed.
    QVERIFY(exchange(SimFrame::frame("014601RT0009"), 300).isEmpty());
    QCOMPARE(exchange(SimFrame::frame("034601RT0009"), answerWaitMs), SimFrame::frame("03460" "0102"));

    // Faults apply on the pty too; a close cannot drop the line, so the
    // request goes unanswered and the line keeps working.
    SimFaults faults;
    faults.close = SimFaultRule::everyNth(1);
    pty.setFaults(faults);
    QVERIFY(exchange(SimFrame::frame("034601RT0009"), 300).isEmpty());
    pty.setFaults(SimFaults());
    QCOMPARE(exchange(SimFrame::frame("034601RT0009"), answerWaitMs), SimFrame::frame("03460" "0102"));
    ::close(line);
    QCOMPARE(pty.requestLog().size(), 4);

    // A driver opens the line as a serial port, closes it and opens it again.
    for (int round = 0; round < 2; ++round) {
        QSerialPort port(pty.ptyPath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.setBaudRate(9600);
        port.write(SimFrame::frame("034601RT0009"));
        QByteArray answer;
        while (!answer.endsWith('\x03') && port.waitForReadyRead(answerWaitMs))
            answer += port.readAll();
        QCOMPARE(answer, SimFrame::frame("03460" "0102"));
    }
}

void TestSimServer::servesSeveralStationsOnAPty()
{
    SimServer line(1);
    line.setStations({1, 2, 7});
    QCOMPARE(line.stations(), (QList<int>{1, 2, 7}));
    QCOMPARE(line.station(), 1);
    // Each station its own memory: D5 holds the station number times 0x111.
    for (const int station : line.stations()) {
        QVERIFY(line.changeMemory(station, [station](SimMemory *memory) {
            memory->setValue(SimArea::D, 5, quint16(station * 0x111));
        }));
    }
    QVERIFY(!line.changeMemory(3, [](SimMemory *) {}));
    QVERIFY2(line.startPty(), qPrintable(line.errorString()));

    const int fd = openRawLine(line.ptyPath());
    QVERIFY(fd >= 0);

    const struct {
        const char *request;
        QByteArray answer;
    } exchanges[] = {
        {"014601D00005", SimFrame::frame("01460" "0111")},
        {"074601D00005", SimFrame::frame("07460" "0777")},
        {"024701D000050ABC", SimFrame::frame("02470")},
        {"024601D00005", SimFrame::frame("02460" "0ABC")},
        {"034601D00005", QByteArray()},                         // no PLC 3 on the line
        {"014601D00005", SimFrame::frame("01460" "0111")},  // the write went to station 2 only
    };
    for (const auto &exchange : exchanges) {
        const QByteArray got = exchangeOnFd(fd, SimFrame::frame(exchange.request), exchange.answer.isEmpty() ? 300 : answerWaitMs);
        QVERIFY2(got == exchange.answer, exchange.request);
    }
    ::close(fd);

    const QList<SimLogEntry> log = line.requestEntries();
    QCOMPARE(log.size(), 6);
    QCOMPARE(log.at(2).station, 2);
    QCOMPARE(log.at(2).command, QStringLiteral("write"));
    QCOMPARE(log.at(2).label, QStringLiteral("D5"));
    QCOMPARE(log.at(4).outcome, QStringLiteral("ignored (no such station)"));
    QCOMPARE(line.requestEntries(5).size(), 1);
}

void TestSimServer::ptyAnswersOnlyOnItsLineSettings()
{
    SimSerialSettings expected;
    expected.baudRate = 19200;
    SimServer pty(1);
    QVERIFY2(pty.startPty(expected), qPrintable(pty.errorString()));

    // The driver's side sets its line as a serial port does. A Linux pty
    // keeps only the baud rate and stop bits (it forces 8 bits, no parity).
    const struct {
        int baud;
        QSerialPort::StopBits stop;
        bool answered;
    } lines[] = {
        {19200, QSerialPort::OneStop, true},
        {9600, QSerialPort::OneStop, false},
        {19200, QSerialPort::TwoStop, false},
        {19200, QSerialPort::OneStop, true},
    };
    QSerialPort port(pty.ptyPath());
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    for (const auto &line : lines) {
        QVERIFY(port.setBaudRate(line.baud) && port.setStopBits(line.stop));
        port.write(readD5());
        QByteArray answer;
        while (!answer.endsWith('\x03') && port.waitForReadyRead(line.answered ? answerWaitMs : 300))
            answer += port.readAll();
        QCOMPARE(answer, line.answered ? SimFrame::frame("01460" "0000") : QByteArray());
    }
    // The log says why the PLC kept quiet.
    QStringList outcomes;
    QStringList texts;
    for (const SimLogEntry &entry : pty.requestEntries()) {
        outcomes << entry.outcome;
        texts << entry.text().mid(13);
    }
    QVERIFY2(texts.contains(QStringLiteral("received bytes: ignored: the line is set to 9600,8,1,N, the PLC to 19200,8,1,N")),
             qPrintable(texts.join(QLatin1Char('|'))));
    QVERIFY2(outcomes.contains(QStringLiteral("ignored: the line is set to 9600,8,1,N, the PLC to 19200,8,1,N")),
             qPrintable(outcomes.join(QLatin1Char('|'))));
    QVERIFY(outcomes.contains(QStringLiteral("ignored: the line is set to 19200,8,2,N, the PLC to 19200,8,1,N")));
    QCOMPARE(outcomes.count(QStringLiteral("answered")), 2);
}

void TestSimServer::servesASerialLine()
{
    // A pty pair stands in for the cable: the simulator opens the slave
    // as its serial device, the test talks on the master.
    int master = -1;
    int slave = -1;
    char name[256] = {};
    QCOMPARE(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    struct termios raw;
    ::tcgetattr(master, &raw);
    cfmakeraw(&raw);
    ::tcsetattr(master, TCSANOW, &raw);

    SimSerialSettings settings;
    QString error;
    QVERIFY(SimSerialSettings::parse(QStringLiteral("%1,19200,8,1,N").arg(QString::fromLocal8Bit(name)),
                                     &settings, &error));
    SimServer serial(1);
    QVERIFY2(serial.startSerial(settings), qPrintable(serial.errorString()));
    QCOMPARE(serial.listeningOn(), QStringLiteral("serial ") + QString::fromLocal8Bit(name));
    serial.setValue(SimArea::D, 5, 0x0A0B);
    QCOMPARE(exchangeOnFd(master, readD5(), answerWaitMs), SimFrame::frame("01460" "0A0B"));
    serial.stop();
    ::close(slave);
    ::close(master);

    SimServer missing(1);
    settings.device = QStringLiteral("/dev/no-such-serial-line");
    QVERIFY(!missing.startSerial(settings));
    QVERIFY(missing.errorString().contains(settings.device));
}

void TestSimServer::scriptedOverTcp()
{
    SimScriptedPlc script;
    script.setResponder([](const QByteArray &request) {
        const SimRequest r = SimFrame::parseRequest(request);
        return r.error == SimErrorCode::none ? SimFrame::answer(r, SimErrorCode::none, "1") : QByteArray();
    });
    script.setSplit(4, 30);
    QVERIFY(script.listenTcp());
    Client driver;
    QVERIFY(driver.connectTo(script.tcpPort()));
    QVERIFY(script.waitForConnections(1, answerWaitMs));

    // A request in two writes, after some noise, is still one request.
    const QByteArray frame = QByteArray::fromHex("02 30 31 34 34 30 31 58 30 30 30 30 34 34 03");
    driver.send("zz" + frame.left(5));
    QTest::qWait(20);
    QCOMPARE(driver.exchange(frame.mid(5)), QByteArray::fromHex("02 30 31 34 34 30 31 32 43 03"));
    QCOMPARE(script.requests(), QList<QByteArray>{frame});
    QCOMPARE(script.strayBytes(), QByteArray("zz"));
    QVERIFY(script.waitForAnswers(1, answerWaitMs));

    // Unsolicited bytes, then the connection dropped.
    script.sendRaw("\x02" "xyz\x03");
    QCOMPARE(driver.answer(), QByteArray("\x02" "xyz\x03"));
    script.dropConnection();
    QTRY_COMPARE_WITH_TIMEOUT(driver.socket.state(), QAbstractSocket::UnconnectedState, answerWaitMs);
}

void TestSimServer::scriptedOverPty()
{
    SimScriptedPlc script;
    script.setResponder([](const QByteArray &) { return SimFrame::frame("02470"); });
    QVERIFY(script.openPty());
    QVERIFY(script.waitForConnections(1, 0));

    const int line = ::open(QFile::encodeName(script.ptyPath()).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(line >= 0);
    struct termios settings;
    QVERIFY(script.lineSettings(&settings));
    QVERIFY(!(settings.c_lflag & (ECHO | ICANON)));
    const QByteArray frame = QByteArray::fromHex("02 30 32 34 37 30 30 44 30 30 30 30 30 39 33 03");
    QCOMPARE(exchangeOnFd(line, frame, answerWaitMs), QByteArray::fromHex("02 30 32 34 37 30 46 46 03"));
    ::close(line);
    QCOMPARE(script.requests(), QList<QByteArray>{frame});
}

void TestSimServer::gatewaySerialisesAndForwards()
{
    // Long enough to reconnect in while the first answer is on the line.
    constexpr int delayMs = 1500;
    SimServer gateway(1);
    QVERIFY2(gateway.startGateway(), qPrintable(gateway.errorString()));
    SimFaults faults;
    faults.delayMs = delayMs;
    faults.delay = SimFaultRule::always();
    gateway.setFaults(faults);
    gateway.setValue(SimArea::D, 1, 0x0001);
    gateway.setValue(SimArea::D, 2, 0x0002);

    Client first;
    Client second;
    QVERIFY(first.connectTo(gateway.port()));
    QVERIFY(second.connectTo(gateway.port()));
    QTRY_COMPARE_WITH_TIMEOUT(gateway.connectionCount(), 2, answerWaitMs);
    QElapsedTimer clock;
    clock.start();
    first.send(SimFrame::frame("014601D00001"));
    QTRY_COMPARE_WITH_TIMEOUT(gateway.requestEntries().size(), 1, answerWaitMs);
    second.send(SimFrame::frame("014601D00002"));

    // The first connection goes away while its answer is late; the answer
    // goes out on the newest connection, not on the older one still open.
    first.socket.abort();
    QTRY_COMPARE_WITH_TIMEOUT(gateway.connectionCount(), 1, answerWaitMs);
    Client third;
    QVERIFY(third.connectTo(gateway.port()));
    QCOMPARE(third.answer(delayMs + answerWaitMs), SimFrame::frame("01460" "0001"));

    // The second request waited for the first answer to go out.
    QCOMPARE(second.answer(delayMs + answerWaitMs), SimFrame::frame("01460" "0002"));
    QVERIFY2(clock.elapsed() >= 2 * delayMs - 100, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(third.arrivingWithin(300).isEmpty());
}

QTEST_GUILESS_MAIN(TestSimServer)
#include "tst_simserver.moc"
