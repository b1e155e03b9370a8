// The norvo binary as a user runs it: the real plug-in loaded with dlopen,
// a real simulator on loopback TCP and on a pty, exit statuses and output.

#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLibraryInfo>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryFile>
#include <QtNetwork/QTcpServer>
#include <QtTest/QtTest>

#include <csignal>

namespace {

const int runTimeoutMs = 30000;

// Starts a program of this build; a cross build runs it through the emulator.
void startProgram(QProcess &process, const QString &program, const QStringList &arguments)
{
    const QString emulator = QStringLiteral(NORVO_EMULATOR);
    if (emulator.isEmpty())
        process.start(program, arguments);
    else
        process.start(emulator, QStringList(program) + arguments);
}

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run norvo(const QStringList &arguments)
{
    QProcess process;
    startProgram(process, QStringLiteral(NORVO_BINARY), arguments);
    Run run;
    if (!process.waitForFinished(runTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = QStringLiteral("norvo did not finish");
        return run;
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

QJsonObject json(const QString &line)
{
    return QJsonDocument::fromJson(line.trimmed().toUtf8()).object();
}

QString describe(const Run &run)
{
    return QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(run.exitCode).arg(run.out, run.err);
}

#define CHECK_RUN(run, expectedExit)                                                          \
    QVERIFY2((run).exitCode == (expectedExit), qPrintable(describe(run)))

#ifdef NORVO_SIM_BINARY
// norvo-sim in its own process; its first line tells where it listens.
class Simulator
{
public:
    ~Simulator()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.terminate();
            if (!process_.waitForFinished(5000)) {
                process_.kill();
                process_.waitForFinished();
            }
        }
    }

    // "tcp 127.0.0.1:PORT" gives "127.0.0.1:PORT", "pty /dev/pts/N" gives
    // the serial connection string for that device.
    QString start(const QStringList &arguments)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        startProgram(process_, QStringLiteral(NORVO_SIM_BINARY), arguments);
        if (!process_.waitForStarted(10000))
            return QString();
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(10000))
                return QString();
        }
        const QString line = QString::fromUtf8(process_.readLine()).trimmed();
        if (line.startsWith(QLatin1String("tcp ")))
            return line.mid(4);
        if (line.startsWith(QLatin1String("pty ")))
            return line.mid(4) + QStringLiteral(",9600,8,1,N");
        return QString();
    }

private:
    QProcess process_;
};
#endif

} // namespace

class TestCliRun : public QObject
{
    Q_OBJECT

private slots:
    void infoThroughThePlugin();
    void pluginThatDoesNotLoad();
    void refusedCommandLineSendsNothing();
    void linkThatDoesNotOpen();
#ifdef NORVO_SIM_BINARY
    void sessionOverTcp();
    void failedRequestsExitNonZero();
    void pollCountsAndStopsOnSignal();
    void sessionOverPty();
#endif
};

void TestCliRun::infoThroughThePlugin()
{
    const QString plugin = QFileInfo(QStringLiteral(NORVO_PLUGIN)).canonicalFilePath();

    Run run = norvo({"--json", "--plugin", NORVO_PLUGIN, "info"});
    CHECK_RUN(run, 0);
    const QJsonObject info = json(run.out);
    QCOMPARE(QFileInfo(info.value("plugin").toString()).canonicalFilePath(), plugin);
    QCOMPARE(info.value("name").toString(), QStringLiteral("Norvo"));
    QCOMPARE(info.value("version").toString(), QStringLiteral("V1.2.3 20230221"));
    QVERIFY2(info.value("build").toString().startsWith(QLatin1String("v1.2.3 ")), qPrintable(run.out));

    // Without --plugin the tool finds the library built beside it.
    run = norvo({"info"});
    CHECK_RUN(run, 0);
    QVERIFY2(run.out.contains(QLatin1String("driver      Norvo\n")), qPrintable(run.out));
    const QString firstLine = run.out.section(QLatin1Char('\n'), 0, 0);
    QCOMPARE(QFileInfo(firstLine.mid(12)).canonicalFilePath(), plugin);
}

void TestCliRun::pluginThatDoesNotLoad()
{
    Run run = norvo({"--plugin", "/nonexistent/libLibNorvo.so.1", "info"});
    CHECK_RUN(run, 3);
    QVERIFY(run.err.contains(QLatin1String("does not exist")));

    QTemporaryFile notALibrary;
    QVERIFY(notALibrary.open());
    notALibrary.write("not an ELF file\n");
    notALibrary.close();
    run = norvo({"--plugin", notALibrary.fileName(), "info"});
    CHECK_RUN(run, 3);
    QVERIFY2(run.err.contains(QLatin1String("cannot load the plug-in")), qPrintable(run.err));

    // A real shared library that is no driver.
    const QString qtCore = QLibraryInfo::location(QLibraryInfo::LibrariesPath)
                           + QStringLiteral("/libQt5Core.so.5");
    if (QFileInfo::exists(qtCore)) {
        run = norvo({"--plugin", qtCore, "info"});
        CHECK_RUN(run, 3);
        QVERIFY2(run.err.contains(QLatin1String("exports no getSharedLibrary")), qPrintable(run.err));
    }
}

// Bad values are refused before the tool so much as connects.
void TestCliRun::refusedCommandLineSendsNothing()
{
    QTcpServer plc;
    QVERIFY(plc.listen(QHostAddress::LocalHost));
    const QString connection = QStringLiteral("127.0.0.1:%1").arg(plc.serverPort());

    for (const QStringList &arguments :
         {QStringList{connection, "write", "D100", "int16", "1", "70000"},
          QStringList{connection, "write", "D100", "float", "1,5"},
          QStringList{connection, "read", "Q5", "int16"},
          QStringList{connection, "read", "D100", "int12"},
          QStringList{"--tims", "3", connection, "poll", "D100", "int16"}}) {
        const Run run = norvo(arguments);
        CHECK_RUN(run, 2);
        QVERIFY2(run.err.startsWith(QLatin1String("norvo: ")), qPrintable(run.err));
        QVERIFY(run.out.isEmpty());
        QVERIFY2(!plc.waitForNewConnection(0), qPrintable(arguments.join(' ')));
    }
}

void TestCliRun::linkThatDoesNotOpen()
{
    // A port that nobody listens on: take one, then free it.
    quint16 port = 0;
    {
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        port = server.serverPort();
    }
    const QString closed = QStringLiteral("127.0.0.1:%1").arg(port);
    Run run = norvo({closed, "read", "D100", "int16"});
    CHECK_RUN(run, 4);
    QVERIFY2(run.err.contains(QLatin1String("cannot connect to 127.0.0.1:")), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());

    // info still names the plug-in, then reports the link.
    run = norvo({closed, "info"});
    CHECK_RUN(run, 4);
    QVERIFY2(run.out.contains(QLatin1String("driver      Norvo\n")), qPrintable(run.out));
    QVERIFY2(run.out.contains(closed + QLatin1String(": -3 no connection within 1 s")),
             qPrintable(run.out));
    QVERIFY2(run.err.contains(QLatin1String("cannot connect to ")), qPrintable(run.err));
}

#ifdef NORVO_SIM_BINARY

void TestCliRun::sessionOverTcp()
{
    Simulator sim;
    const QString plc = sim.start({"--tcp", "127.0.0.1:0"});
    QVERIFY(!plc.isEmpty());

    // Each written list comes back from a read as the same JSON values.
    const struct {
        const char *label;
        const char *type;
        QStringList values;
        QJsonArray expected;
    } roundTrips[] = {
        {"D100", "int16", {"-5", "0x7FFF"}, {-5, 32767}},
        {"D200", "int32", {"-100000", "2147483647"}, {-100000, 2147483647}},
        {"D300", "float", {"1.5", "-0.1"}, {1.5, -0.1}},
        {"R10", "double", {"-2.5e-300"}, {-2.5e-300}},
        {"D400", "uint64", {"18446744073709551615"}, QJsonArray()},
        {"D500", "int8", {"-128", "127"}, {-128, 127}},
    };
    for (const auto &trip : roundTrips) {
        Run run = norvo(QStringList{plc, "write", trip.label, trip.type} + trip.values);
        CHECK_RUN(run, 0);
        QVERIFY2(run.out.contains(QLatin1String("0 success")), qPrintable(run.out));

        run = norvo({"--json", plc, "read", trip.label, trip.type,
                     QString::number(trip.values.size())});
        CHECK_RUN(run, 0);
        const QJsonObject answer = json(run.out);
        QCOMPARE(answer.value("status").toInt(), 0);
        QCOMPARE(answer.value("count").toInt(), trip.values.size());
        if (!trip.expected.isEmpty())
            QCOMPARE(answer.value("values").toArray(), trip.expected);
        else // beyond a double's precision: compare the text
            QVERIFY2(run.out.contains(QLatin1String("[18446744073709551615]")), qPrintable(run.out));
        QVERIFY(!answer.value("time").isNull());
    }

    // The word at X0 holds the bits X0 to X15, X0 the least significant.
    Run run = norvo({plc, "write", "X0", "uint16", "0x0005"});
    CHECK_RUN(run, 0);
    run = norvo({"--json", plc, "read", "X0", "bool", "4"});
    CHECK_RUN(run, 0);
    QCOMPARE(json(run.out).value("values").toArray(), (QJsonArray{true, false, true, false}));

    // The readable table of a plain read.
    run = norvo({plc, "read", "D100", "int16", "2"});
    CHECK_RUN(run, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).startsWith(QLatin1String("label  type   values")));
    QVERIFY2(lines.at(1).startsWith(QLatin1String("D100   int16  -5, 32767  0 success  ")),
             qPrintable(lines.at(1)));
}

void TestCliRun::failedRequestsExitNonZero()
{
    Simulator sim;
    const QString plc = sim.start({"--tcp", "127.0.0.1:0"});
    QVERIFY(!plc.isEmpty());

    // 300 registers do not fit in one request: refused by the driver.
    Run run = norvo({plc, "read", "D100", "int16", "300"});
    CHECK_RUN(run, 1);
    QVERIFY2(run.err.contains(QLatin1String("D100 int16: status 5 count too large")),
             qPrintable(run.err));
    QVERIFY2(run.out.contains(QLatin1String("5 count too large")), qPrintable(run.out));

    // An odd number of bytes cannot be written in whole registers.
    run = norvo({"--json", plc, "write", "D100", "int8", "1", "2", "3"});
    CHECK_RUN(run, 1);
    QCOMPARE(json(run.out).value("status").toInt(), 4);

    // Another station's PLC stays silent on a shared line.
    run = norvo({"--station", "7", plc, "read", "D100", "int16"});
    CHECK_RUN(run, 1);
    QVERIFY2(run.err.contains(QLatin1String("status 8 no answer in time")), qPrintable(run.err));
}

void TestCliRun::pollCountsAndStopsOnSignal()
{
    Simulator sim;
    const QString plc = sim.start({"--tcp", "127.0.0.1:0"});
    QVERIFY(!plc.isEmpty());

    Run run = norvo({"--json", "--times", "3", "--interval", "20", plc, "poll", "D0", "uint16", "2"});
    CHECK_RUN(run, 0);
    QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 4);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(json(lines.at(i)).value("values").toArray(), (QJsonArray{0, 0}));
    QCOMPARE(json(lines.at(3)), json("{\"reads\":3,\"good\":3,\"failed\":0,\"interrupted\":false}"));

    // Without --times only Ctrl-C ends it, after a summary.
    QProcess poll;
    startProgram(poll, QStringLiteral(NORVO_BINARY), {"--interval", "50", plc, "poll", "D0", "int16"});
    QVERIFY(poll.waitForStarted());
    QByteArray out;
    while (out.count('\n') < 3 && poll.waitForReadyRead(10000))
        out += poll.readAllStandardOutput();
    QVERIFY2(out.count('\n') >= 3, out.constData()); // the header and two rows
    ::kill(pid_t(poll.processId()), SIGINT);
    QVERIFY(poll.waitForFinished(10000));
    out += poll.readAllStandardOutput();
    QCOMPARE(poll.exitStatus(), QProcess::NormalExit);
    QCOMPARE(poll.exitCode(), 0);
    const QRegularExpression summary(QStringLiteral("poll stopped: (\\d+) reads, (\\d+) good, 0 failed\n$"));
    const QRegularExpressionMatch match = summary.match(QString::fromUtf8(out));
    QVERIFY2(match.hasMatch(), out.constData());
    QCOMPARE(match.captured(1), match.captured(2));
    QVERIFY(match.captured(1).toInt() >= 2);
}

void TestCliRun::sessionOverPty()
{
    Simulator sim;
    const QString plc = sim.start({"--pty"});
    QVERIFY(!plc.isEmpty());

    Run run = norvo({plc, "write", "D10", "double", "-1.25", "3e100"});
    CHECK_RUN(run, 0);
    run = norvo({"--json", plc, "read", "D10", "double", "2"});
    CHECK_RUN(run, 0);
    QCOMPARE(json(run.out).value("values").toArray(), (QJsonArray{-1.25, 3e100}));
}

#endif

QTEST_GUILESS_MAIN(TestCliRun)
#include "tst_clirun.moc"
