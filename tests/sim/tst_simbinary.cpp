// SPDX-License-Identifier: LGPL-2.1-or-later
// The real norvo-sim program: its first stdout line, serving a request,
// its dumps, its exit on SIGTERM, and its refusals with their exit codes.

#include "simframe.h"

#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtNetwork/QTcpServer>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <csignal>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int waitMs = 10000;   // generous: the program may run under an emulator

// Starts norvo-sim with `arguments`, through the cross emulator when there is one.
void startSim(QProcess *process, const QStringList &arguments)
{
    QStringList command = QString::fromUtf8(NORVO_SIM_EMULATOR).split(QLatin1Char(';'), Qt::SkipEmptyParts);
    command << QString::fromUtf8(NORVO_SIM_PATH) << arguments;
    process->start(command.takeFirst(), command);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSimBinary : public QObject
{
    Q_OBJECT

private slots:
    void servesUntilTerminated();
    void servesTheWorkbench();
    void refusesWhatItCannotUse();
};

void TestSimBinary::servesUntilTerminated()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString load = dir.filePath(QStringLiteral("plc.txt"));
    const QString dump = dir.filePath(QStringLiteral("dump.txt"));
    QFile file(load);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("# test memory\nD100 = 0x1234\nX17 = 1\n");
    file.close();

    QProcess sim;
    startSim(&sim, {"--tcp", "127.0.0.1:0", "--station", "2", "--load", load, "--dump", dump});
    QVERIFY(sim.waitForStarted(waitMs));

    // Exactly one line, as soon as it listens.
    QDeadlineTimer deadline(waitMs);
    while (!sim.canReadLine() && !deadline.hasExpired())
        sim.waitForReadyRead(int(deadline.remainingTime()));
    const QByteArray first = sim.readLine();
    QVERIFY2(first.startsWith("tcp 127.0.0.1:") && first.endsWith('\n'), first.constData());
    bool ok = false;
    const int port = first.mid(14).trimmed().toInt(&ok);
    QVERIFY(ok && port > 0);

    QTcpSocket plc;
    plc.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(plc.waitForConnected(waitMs));
    auto exchange = [&plc](const QByteArray &frame) {
        plc.write(frame);
        QByteArray answer;
        QDeadlineTimer deadline(waitMs);
        while (!answer.endsWith('\x03') && plc.waitForReadyRead(int(deadline.remainingTime())))
            answer += plc.readAll();
        return answer;
    };
    QCOMPARE(exchange(SimFrame::frame("024601D00100")), SimFrame::frame("02460" "1234"));
    QCOMPARE(exchange(SimFrame::frame("024701D00101" "00FF")), SimFrame::frame("02470"));

    // SIGUSR1 dumps while it runs.
    QVERIFY(::kill(pid_t(sim.processId()), SIGUSR1) == 0);
    QTRY_VERIFY_WITH_TIMEOUT(readFile(dump).contains("D101 = 0x00FF"), waitMs);

    // SIGTERM: a clean exit 0 with a final dump; nothing more on stdout.
    QCOMPARE(exchange(SimFrame::frame("024701D00102" "0007")), SimFrame::frame("02470"));
    QVERIFY(::kill(pid_t(sim.processId()), SIGTERM) == 0);
    QVERIFY(sim.waitForFinished(waitMs));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.readAllStandardOutput().isEmpty());
    QCOMPARE(readFile(dump), QByteArray("X17 = 1\nD100 = 0x1234\nD101 = 0x00FF\nD102 = 0x0007\n"));
}

void TestSimBinary::servesTheWorkbench()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString link = dir.filePath(QStringLiteral("plc"));
    QProcess sim;
    startSim(&sim, {"--pty", "--pty-link", link, "--station", "1,2", "--http", "127.0.0.1:0", "--log"});
    QVERIFY(sim.waitForStarted(waitMs));
    QDeadlineTimer deadline(waitMs);
    QByteArray lines;
    while (lines.count('\n') < 2 && !deadline.hasExpired()) {
        lines += sim.readAllStandardOutput();
        if (lines.count('\n') < 2)
            sim.waitForReadyRead(int(deadline.remainingTime()));
    }
    const QList<QByteArray> printed = lines.split('\n');
    QVERIFY2(printed.size() >= 2 && printed.at(0).startsWith("pty /dev/") && printed.at(1).startsWith("http 127.0.0.1:"),
             lines.constData());
    const QString pty = QString::fromLocal8Bit(printed.at(0).mid(4));
    QCOMPARE(QFileInfo(link).symLinkTarget(), pty);

    // Requests through the stable path, logged on stderr, a write with its registers.
    const int fd = ::open(QFile::encodeName(link).constData(), O_RDWR | O_NOCTTY);
    QVERIFY(fd >= 0);
    struct termios raw;
    QCOMPARE(::tcgetattr(fd, &raw), 0);
    cfmakeraw(&raw);
    QCOMPARE(::tcsetattr(fd, TCSANOW, &raw), 0);
    const QByteArray frames = SimFrame::frame("024701D00005ABCD") + SimFrame::frame("024601D00005");
    QCOMPARE(::write(fd, frames.constData(), size_t(frames.size())), ssize_t(frames.size()));
    ::close(fd);
    QByteArray log;
    deadline.setRemainingTime(waitMs);
    while (log.count('\n') < 2 && !deadline.hasExpired()) {
        sim.waitForReadyRead(100);
        log += sim.readAllStandardError();
    }
    QVERIFY2(log.contains("station 2 write D5 count 1: answered [0xABCD]"), log.constData());
    QVERIFY2(log.contains("station 2 read D5 count 1: answered"), log.constData());

    // The link goes with the simulator.
    QVERIFY(::kill(pid_t(sim.processId()), SIGTERM) == 0);
    QVERIFY(sim.waitForFinished(waitMs));
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TestSimBinary::refusesWhatItCannotUse()
{
    QTemporaryDir dir;
    const QString load = dir.filePath(QStringLiteral("bad.txt"));
    QFile file(load);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("D1 = 1\n\nD2 = 70000\n");
    file.close();
    const QString stations = dir.filePath(QStringLiteral("stations.txt"));
    QFile stationsFile(stations);
    QVERIFY(stationsFile.open(QIODevice::WriteOnly));
    stationsFile.write("@7 D1 = 1\n@2 D1 = 1\n");
    stationsFile.close();

    // A port someone else listens on, as a first simulator would.
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    const QString inUse = QStringLiteral("127.0.0.1:%1").arg(taken.serverPort());

    struct Case {
        QStringList arguments;
        int exitCode;
        QByteArray saying;
    };
    const QList<Case> cases = {
        {{"--drop-evry", "3"}, 2, "drop-evry"},
        {{"--pty", "extra"}, 2, "extra"},
        {{"--load", load}, 1, QFile::encodeName(load) + ":3:"},
        {{"--load", dir.filePath(QStringLiteral("missing.txt"))}, 1, "cannot read"},
        {{"--load", stations, "--station", "1,7"}, 1, "station 2 is not simulated"},
        // Checked at start: at shutdown the memory would be lost.
        {{"--dump", dir.filePath(QStringLiteral("no-such-folder/dump.txt"))}, 1, "cannot write the dump"},
        {{"--web"}, 2, "web"},
        {{"--tcp", inUse}, 2, "cannot listen on " + inUse.toUtf8()},
        {{"--http", inUse}, 2, "cannot serve HTTP on " + inUse.toUtf8() + ": the address is in use"},
    };
    for (const Case &c : cases) {
        QProcess sim;
        startSim(&sim, c.arguments);
        QVERIFY(sim.waitForFinished(waitMs));
        QCOMPARE(sim.exitCode(), c.exitCode);
        const QByteArray error = sim.readAllStandardError();
        QVERIFY2(error.contains(c.saying), error.constData());
        // It never got as far as listening.
        QVERIFY(sim.readAllStandardOutput().isEmpty());
    }
}

QTEST_GUILESS_MAIN(TestSimBinary)
#include "tst_simbinary.moc"
