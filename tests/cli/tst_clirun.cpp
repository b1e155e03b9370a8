// SPDX-License-Identifier: LGPL-2.1-or-later
// The norvo binary as a user runs it: the real plug-in loaded with dlopen,
// a real simulator on loopback TCP and on a pty, exit statuses and output.

#include "TestTable.h"

#include <QtCore/QFileInfo>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QLibraryInfo>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryFile>
#include <QtNetwork/QTcpServer>
#include <QtTest/QtTest>

#include <httplib.h>

#include <csignal>
#include <functional>

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

// `loggingRules`: a QT_LOGGING_RULES of the user's.
Run norvo(const QStringList &arguments, const QByteArray &loggingRules = QByteArray())
{
    QProcess process;
    if (!loggingRules.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QT_LOGGING_RULES"), QString::fromLatin1(loggingRules));
        process.setProcessEnvironment(environment);
    }
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

QStringList outputLines(const QString &text)
{
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// RFC 4180 records: fields split at commas outside quotes, "" inside quotes
// is one quote, records end with CRLF.
QList<QStringList> parseCsv(const QString &text)
{
    QList<QStringList> records;
    QStringList fields;
    QString field;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('"'))
                field += text.at(++i);
            else if (c == QLatin1Char('"'))
                quoted = false;
            else
                field += c;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << field;
            field.clear();
        } else if (c == QLatin1Char('\r') && text.mid(i, 2) == QLatin1String("\r\n")) {
            records << (fields << field);
            fields.clear();
            field.clear();
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

QString describe(const Run &run)
{
    return QStringLiteral("exit %1\nstdout: %2\nstderr: %3").arg(run.exitCode).arg(run.out, run.err);
}

// `run` is evaluated once: it may be the call that runs norvo.
#define CHECK_RUN(run, expectedExit)                                                          \
    do {                                                                                      \
        const Run checked = (run);                                                            \
        QVERIFY2(checked.exitCode == (expectedExit), qPrintable(describe(checked)));          \
    } while (false)

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

    qint64 pid() const { return process_.processId(); }

    // Ends it as SIGTERM does, and waits.
    void stop()
    {
        process_.terminate();
        process_.waitForFinished(10000);
    }

    // "tcp 127.0.0.1:PORT" gives "127.0.0.1:PORT", "pty /dev/pts/N" gives
    // the serial connection string for that device.
    QString start(const QStringList &arguments)
    {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        startProgram(process_, QStringLiteral(NORVO_SIM_BINARY), arguments);
        if (!process_.waitForStarted(10000))
            return QString();
        const QString line = nextLine();
        if (line.startsWith(QLatin1String("tcp ")))
            return line.mid(4);
        if (line.startsWith(QLatin1String("pty ")))
            return line.mid(4) + QStringLiteral(",9600,8,1,N");
        return QString();
    }

    // The next line it prints ("http 127.0.0.1:PORT" after the link's).
    QString nextLine()
    {
        while (!process_.canReadLine()) {
            if (!process_.waitForReadyRead(10000))
                return QString();
        }
        return QString::fromUtf8(process_.readLine()).trimmed();
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
    void pollCountsAndStopsOnSignal();
    void pollMergesNeighbours();
    void pollSurvivesADropAndARestart();
    void sessionOverPty();
    void exitCodes_data();
    void exitCodes();
    void scanFindsTheStation();
    void webServersRefuseOtherSites();
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

    run = norvo({"--version", "--plugin", NORVO_PLUGIN});
    CHECK_RUN(run, 0);
    QVERIFY2(run.out.startsWith(QLatin1String("norvo 1.2.3\nplug-in ")), qPrintable(run.out));
    QVERIFY2(run.out.contains(QLatin1String("V1.2.3 20230221")), qPrintable(run.out));

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
    run = norvo({"--json", "--plugin", "/nonexistent/libLibNorvo.so.1", "info"});
    CHECK_RUN(run, 3);
    QCOMPARE(json(run.out).value("exit").toInt(), 3);

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
          QStringList{"--tims", "3", connection, "poll", "D100", "int16"},
          QStringList{connection, "write", "Y3", "bool", "1"},
          QStringList{connection, "poll", "D100:int16", "X0:bool:0"},
          QStringList{"--json", "--stations", "5-1", connection, "scan"},
          QStringList{"--tims", "3", "--json", connection, "poll", "D100", "int16"}}) {
        const Run run = norvo(arguments);
        CHECK_RUN(run, 2);
        QVERIFY2(run.err.startsWith(QLatin1String("norvo: ")), qPrintable(run.err));
        if (arguments.contains(QLatin1String("--json")))
            QCOMPARE(json(run.out).value("exit").toInt(), 2);
        else
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
    QVERIFY2(run.err.contains(QLatin1String("connection refused: nothing listens on port")),
             qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    // A poll keeps trying; when the link never opens, it ends with exit 4.
    run = norvo({"--json", "--times", "2", "--interval", "20", closed, "poll", "D100:int16"});
    CHECK_RUN(run, 4);
    const QStringList lines = outputLines(run.out);
    QCOMPARE(lines.size(), 4); // the loss, a row per cycle, the summary
    QCOMPARE(json(lines.first()).value("event").toString(), QStringLiteral("link lost"));
    QCOMPARE(json(lines.at(2)).value("status").toInt(), 9);
    QVERIFY2(json(lines.at(1)).value("reason").toString().contains(QLatin1String("connection refused")),
             qPrintable(lines.at(1)));
    // An outage's cause is told once, not every cycle.
    run = norvo({"--times", "4", "--interval", "20", closed, "poll", "D100:int16"});
    CHECK_RUN(run, 4);
    QCOMPARE(run.err.count(QLatin1String("connection refused")), 1);
    QCOMPARE(run.out.count(QLatin1String("connection refused")), 1);
    QCOMPARE(run.out.count(QLatin1String("still down")), 3);

    // norvo tells the causes of a serial port that does not open apart.
    for (const auto &port : {std::make_pair("/nonexistent/ttyUSB9", "does not exist"),
                             std::make_pair("/dev/null", "is not a terminal"),
                             std::make_pair("/tmp", "is not a terminal")}) {
        run = norvo({QLatin1String(port.first) + ",9600,8,1,N", "read", "D0", "int16"});
        CHECK_RUN(run, 4);
        QVERIFY2(run.err.contains(QLatin1String(port.second)), qPrintable(run.err));
    }

    // info still names the plug-in, then reports the link.
    run = norvo({closed, "info"});
    CHECK_RUN(run, 4);
    QVERIFY2(run.out.contains(QLatin1String("driver      Norvo\n")), qPrintable(run.out));
    QVERIFY2(run.out.contains(closed + QLatin1String(": the link did not open: the TCP link did not open: "
                                                     "connection refused")),
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
        QVERIFY2(run.out.contains(QRegularExpression(QStringLiteral("\n%1 .* 0 +\\d{4}-").arg(QLatin1String(trip.label)))),
                 qPrintable(run.out));

        run = norvo({"--json", plc, "read", trip.label, trip.type,
                     QString::number(trip.values.size())});
        CHECK_RUN(run, 0);
        const QJsonObject answer = json(run.out);
        QCOMPARE(answer.value("status").toInt(), 0);
        QCOMPARE(answer.value("count").toInt(), trip.values.size());
        if (!trip.expected.isEmpty())
            QCOMPARE(answer.value("values").toArray(), trip.expected);
        else // beyond a double's precision: a string
            QVERIFY2(run.out.contains(QLatin1String("[\"18446744073709551615\"]")), qPrintable(run.out));
        QVERIFY(!answer.value("time").isNull());
    }

    // The word at X0 holds the bits X0 to X15, X0 the least significant.
    Run run = norvo({plc, "write", "X0", "uint16", "0x0005"});
    CHECK_RUN(run, 0);
    run = norvo({"--json", plc, "read", "X0", "bool", "4"});
    CHECK_RUN(run, 0);
    QCOMPARE(json(run.out).value("values").toArray(), (QJsonArray{true, false, true, false}));

    // --merge changes only the named bits of the word, and says it is not atomic.
    run = norvo({plc, "write", "--merge", "X1", "bool", "1", "0"});
    CHECK_RUN(run, 0);
    QVERIFY2(run.err.contains(QLatin1String("not atomic")), qPrintable(run.err));
    run = norvo({"--json", plc, "read", "X0", "uint16"});
    QCOMPARE(json(run.out).value("values").toArray(), QJsonArray{0x0003});

    // The first of an 8-bit pair is the register's high byte.
    run = norvo({plc, "write", "D10", "int8", "-5", "7"});
    CHECK_RUN(run, 0);
    run = norvo({"--json", plc, "read", "D10", "uint16"});
    QCOMPARE(json(run.out).value("values").toArray(), QJsonArray{0xFB07});

    // The readable table of a plain read.
    run = norvo({plc, "read", "D100", "int16", "2"});
    CHECK_RUN(run, 0);
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines.at(0).startsWith(QLatin1String("label  type   values")));
    // The values as wide as they are, two spaces to the status.
    QVERIFY2(lines.at(1).startsWith(QLatin1String("D100   int16  -5, 32767  0       ")),
             qPrintable(lines.at(1)));
}

// Neighbouring labels share one read, and give what a read of each alone gives.
void TestCliRun::pollMergesNeighbours()
{
    Simulator sim;
    const QString plc = sim.start({"--tcp", "127.0.0.1:0"});
    QVERIFY(!plc.isEmpty());
    CHECK_RUN(norvo({plc, "write", "D0", "int16", "5", "-6", "7", "8", "9", "10"}), 0);
    const QStringList items{"poll", "D0:uint16:2", "D2:int16", "D3:int32", "D5:uint8:2"};
    QList<QJsonArray> values[2];
    for (int merge = 0; merge < 2; ++merge) {
        QStringList arguments{"--json", "--times", "1", plc};
        if (merge == 0)
            arguments.insert(0, "--no-merge");
        const Run run = norvo(arguments + items);
        CHECK_RUN(run, 0);
        const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 5);
        for (int i = 0; i < 4; ++i)
            values[merge].append(json(lines.at(i)).value("values").toArray());
        QCOMPARE(json(lines.at(4)).value("requests_per_cycle").toInt(), merge == 0 ? 0 : 1);
    }
    QCOMPARE(values[1], values[0]);
    QCOMPARE(values[1].at(2), (QJsonArray{9 << 16 | 8}));
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
    QCOMPARE(json(lines.at(3)), json("{\"reads\":3,\"good\":3,\"failed\":0,\"link_lost\":0,"
                                     "\"link_restored\":0,\"interrupted\":false}"));

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

// Reads the JSON lines of a running poll until one satisfies `done`.
bool readUntil(QProcess &poll, QList<QJsonObject> *seen,
               const std::function<bool(const QJsonObject &)> &done)
{
    for (;;) {
        while (poll.canReadLine()) {
            const QJsonObject object = json(QString::fromUtf8(poll.readLine()));
            seen->append(object);
            if (done(object))
                return true;
        }
        if (!poll.waitForReadyRead(20000))
            return false;
    }
}

// A poll lives through a dropped connection and a simulator restarted on
// the same port, and reads well after each.
void TestCliRun::pollSurvivesADropAndARestart()
{
    Simulator sim;
    const QString plc = sim.start({"--tcp", "127.0.0.1:0"});
    QVERIFY(!plc.isEmpty());

    QProcess poll;
    startProgram(poll, QStringLiteral(NORVO_BINARY),
                 {"--json", "--interval", "50", plc, "poll", "D100:int16", "X0:bool:2"});
    QVERIFY(poll.waitForStarted());
    QList<QJsonObject> seen;
    const auto good = [](const QJsonObject &o) { return o.contains("status") && o.value("status").toInt() == 0; };
    const auto restored = [](const QJsonObject &o) { return o.value("event").toString() == "link restored"; };

    QVERIFY(readUntil(poll, &seen, good));
    ::kill(pid_t(sim.pid()), SIGUSR2); // drops every connection
    QVERIFY2(readUntil(poll, &seen, restored), "no link restored after the drop");
    QVERIFY(readUntil(poll, &seen, good));

    sim.stop();
    QVERIFY(!sim.start({"--tcp", plc}).isEmpty());
    QVERIFY2(readUntil(poll, &seen, restored), "no link restored after the restart");
    QVERIFY(readUntil(poll, &seen, good));
    QVERIFY(readUntil(poll, &seen, good));

    ::kill(pid_t(poll.processId()), SIGINT);
    QVERIFY(poll.waitForFinished(10000));
    QCOMPARE(poll.exitCode(), 1); // the reads while the link was down failed
    const QStringList rest = outputLines(QString::fromUtf8(poll.readAllStandardOutput()));
    QVERIFY(!rest.isEmpty());
    const QJsonObject summary = json(rest.last());
    QCOMPARE(summary.value("link_lost").toInt(), 2);
    QCOMPARE(summary.value("link_restored").toInt(), 2);
    QVERIFY(summary.value("failed").toInt() >= 2);
    int lost = 0;
    for (const QJsonObject &object : qAsConst(seen)) {
        lost += object.value("event").toString() == QLatin1String("link lost");
        if (object.contains("status"))
            QVERIFY(!object.value("time").toString().isEmpty()); // failed rows too
    }
    QCOMPARE(lost, 2);

    // A poll started before its PLC is there opens the link once it is.
    sim.stop();
    QProcess early;
    startProgram(early, QStringLiteral(NORVO_BINARY), {"--json", "--interval", "50", plc, "poll", "D100:int16"});
    QVERIFY(early.waitForStarted());
    QList<QJsonObject> earlySeen;
    QVERIFY(readUntil(early, &earlySeen, [](const QJsonObject &o) { return o.value("event").toString() == "link lost"; }));
    QVERIFY(!sim.start({"--tcp", plc}).isEmpty());
    QVERIFY2(readUntil(early, &earlySeen, restored), "no link once the simulator started");
    QVERIFY(readUntil(early, &earlySeen, good));
    ::kill(pid_t(early.processId()), SIGINT);
    QVERIFY(early.waitForFinished(10000));

    // A serial line that vanishes and comes back (the simulator restarted on
    // the same link, as a USB adapter plugged in again).
    const QString link = QDir::temp().filePath(QStringLiteral("norvo-clirun-%1").arg(QCoreApplication::applicationPid()));
    Simulator serialSim;
    QVERIFY(!serialSim.start({"--pty", "--pty-link", link}).isEmpty());
    QProcess serialPoll;
    startProgram(serialPoll, QStringLiteral(NORVO_BINARY),
                 {"--json", "--interval", "50", link + ",9600,8,1,N", "poll", "D100:int16"});
    QVERIFY(serialPoll.waitForStarted());
    QList<QJsonObject> serialSeen;
    QVERIFY(readUntil(serialPoll, &serialSeen, good));
    serialSim.stop();
    QVERIFY(readUntil(serialPoll, &serialSeen, [](const QJsonObject &o) { return o.value("event").toString() == "link lost"; }));
    QVERIFY(!serialSim.start({"--pty", "--pty-link", link}).isEmpty());
    QVERIFY2(readUntil(serialPoll, &serialSeen, restored), "no link restored after the line came back");
    QVERIFY(readUntil(serialPoll, &serialSeen, good));
    ::kill(pid_t(serialPoll.processId()), SIGINT);
    QVERIFY(serialPoll.waitForFinished(10000));
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

    // Several items per cycle, as CSV that reads back; a failed item has a
    // row with its time and its cause.
    run = norvo({plc, "write", "D20", "int16", "-7", "300"});
    CHECK_RUN(run, 0);
    run = norvo({"--csv", "--times", "2", "--interval", "20", plc, "poll", "D20:int16:2",
                 "X0:bool:3", "D9999:int16:2"});
    CHECK_RUN(run, 1);
    const QList<QStringList> records = parseCsv(run.out);
    QCOMPARE(records.size(), 1 + 2 * 3);
    QCOMPARE(records.at(0), QString("time,label,type,count,status,meaning,reason,values").split(','));
    for (int i = 1; i < records.size(); ++i) {
        const QStringList &row = records.at(i);
        QCOMPARE(row.size(), 8);
        const QDateTime time = QDateTime::fromString(row.at(0), Qt::ISODateWithMs);
        QVERIFY2(time.isValid() && time.timeSpec() != Qt::LocalTime, qPrintable(row.at(0)));
        QCOMPARE(row.at(1), (QStringList{"D20", "X0", "D9999"}).at((i - 1) % 3));
    }
    QCOMPARE(records.at(1).at(7), QStringLiteral("-7 300"));
    QCOMPARE(records.at(2).at(7), QStringLiteral("0 0 0"));
    QCOMPARE(records.at(3).at(4), QStringLiteral("7"));
    QCOMPARE(records.at(3).at(6), QStringLiteral("PLC error code 5 (norvo-sim: elements past 9999)"));

    // While a poll holds the line, another norvo is told it is busy.
    QProcess holder;
    startProgram(holder, QStringLiteral(NORVO_BINARY), {"--interval", "50", plc, "poll", "D0:int16"});
    QVERIFY(holder.waitForStarted());
    QVERIFY(holder.waitForReadyRead(10000));
    run = norvo({plc, "read", "D0", "int16"});
    ::kill(pid_t(holder.processId()), SIGINT);
    QVERIFY(holder.waitForFinished(10000));
    CHECK_RUN(run, 4);
    QVERIFY2(run.err.contains(QLatin1String("is busy")), qPrintable(run.err));
}

void TestCliRun::exitCodes_data()
{
    // arguments: PLC stands for the simulator's connection
    addColumns<QStringList, QStringList, int, QString, QString>(
        "simulator", "arguments", "exitCode", "stdoutText", "stderrText");

    const QStringList plain{"--tcp", "127.0.0.1:0"};
    QTest::newRow("read") << plain << QStringList{"PLC", "read", "D100:int16", "X0:bool:2"}
                          << 0 << "X0     bool" << "";
    QTest::newRow("info: station answers") << plain << QStringList{"PLC", "info"} << 0
                                           << "station 1 answers" << "";
    QTest::newRow("watch --csv: the URL on stderr") << plain
        << QStringList{"--csv", "--times", "2", "--interval", "0", "PLC", "watch", "D100:int16"} << 0
        << "D100" << "watch http://127.0.0.1:";
    // An answer, but not a usable one: no station to work with.
    QTest::newRow("info: station answers unusably") << QStringList{"--tcp", "127.0.0.1:0", "--error-every", "1"}
                                                    << QStringList{"PLC", "info"} << 1
                                                    << "station 1 answers, but not with a usable answer"
                                                    << "station 1 answers, but not with a usable answer";
    QTest::newRow("info: station silent") << plain << QStringList{"--station", "7", "PLC", "info"}
                                          << 1 << "link open, no answer from station 7"
                                          << "link open, no answer from station 7";
    QTest::newRow("silent station") << plain << QStringList{"--station", "7", "PLC", "read", "D100", "int16"}
                                    << 1 << "" << "status 8 no answer in time: no answer";
    QTest::newRow("PLC error code") << plain << QStringList{"--trace", "PLC", "read", "D9999", "int16", "2"}
                                    << 1 << ""
                                    << "<- station 1, read registers (46), PLC error code 5 (norvo-sim: elements past 9999)";
    QTest::newRow("wrong checksum") << QStringList{"--tcp", "127.0.0.1:0", "--bad-checksum-every", "1"}
                                    << QStringList{"PLC", "read", "D0", "int16"} << 1 << ""
                                    << "status 7 answer unusable or reporting an error: wrong checksum in the answer";
    QTest::newRow("PLC busy") << QStringList{"--tcp", "127.0.0.1:0", "--error-every", "1"}
                              << QStringList{"PLC", "read", "D0", "int16"} << 1 << ""
                              << "status 7 answer unusable or reporting an error: PLC error code 6 (norvo-sim: busy)";
    // Answers later than the driver waits: the next exchanges drop them.
    QTest::newRow("late answer dropped")
        << QStringList{"--tcp", "127.0.0.1:0", "--delay-every", "2", "--delay", "700"}
        << QStringList{"--trace", "--times", "4", "--interval", "100", "PLC", "poll", "D0", "int16"}
        << 1 << "" << "!! dropped a late answer: station 1, read registers (46), no error";
    // Refused by the driver before anything was sent: 2, as a refused command line.
    QTest::newRow("count too large") << plain << QStringList{"PLC", "read", "D100", "int16", "300"}
                                     << 2 << "count too large"
                                     << "status 5 count too large (refused before anything was sent): "
                                        "at most 255 registers fit one request; 300 int16 values from D100 need 300";
    QTest::newRow("odd int8 write") << plain << QStringList{"--json", "PLC", "write", "D100", "int8", "1", "2", "3"}
                                    << 2 << "\"status\":4" << "refused before anything was sent";
    QTest::newRow("bit write") << plain << QStringList{"PLC", "write", "Y3", "bool", "1", "1"}
                               << 2 << "" << "write Y3 uint16 0x0003";
}

void TestCliRun::exitCodes()
{
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutText);
    QFETCH(QString, stderrText);

    Simulator sim;
    const QString plc = sim.start(simulator);
    QVERIFY(!plc.isEmpty());
    arguments.replaceInStrings(QRegularExpression("^PLC$"), plc);
    Run run = norvo(arguments);
    CHECK_RUN(run, exitCode);
    QVERIFY2(run.out.contains(stdoutText), qPrintable(describe(run)));
    QVERIFY2(run.err.contains(stderrText), qPrintable(describe(run)));
    // CSV on stdout is CSV only.
    if (arguments.contains(QLatin1String("--csv")))
        QVERIFY2(!run.out.contains(QLatin1String("watch http")), qPrintable(describe(run)));

    // With --json every outcome is one JSON object per line on stdout. The
    // user's logging rules do not switch off the link's account of frames.
    if (!arguments.contains(QLatin1String("--json")) && !arguments.contains(QLatin1String("--csv"))) {
        run = norvo(QStringList{"--json"} + arguments, "norvo.link.debug=false");
        CHECK_RUN(run, exitCode);
        QVERIFY2(run.err.contains(stderrText), qPrintable(describe(run)));
        for (const QString &line : outputLines(run.out))
            QVERIFY2(!json(line).isEmpty(), qPrintable(line));
        QVERIFY(!run.out.isEmpty() || exitCode == 0);
    }
}

// Station 7 among 0 to 10, over TCP and over a pty; nothing on a silent range.
void TestCliRun::scanFindsTheStation()
{
    for (const QStringList &link : {QStringList{"--tcp", "127.0.0.1:0"}, QStringList{"--pty"}}) {
        Simulator sim;
        const QString plc = sim.start(link + QStringList{"--station", "7"});
        QVERIFY(!plc.isEmpty());

        Run run = norvo({"--json", "--stations", "0-10", plc, "scan"});
        CHECK_RUN(run, 0);
        QStringList found = outputLines(run.out);
        QCOMPARE(found.size(), 2);
        QCOMPARE(json(found.at(0)).value("station").toInt(), 7);
        QCOMPARE(json(found.at(1)).value("tried").toInt(), 11);

        run = norvo({"--stations", "0-2", plc, "scan"});
        CHECK_RUN(run, 1);
        QVERIFY2(run.out.startsWith(QLatin1String("scan done: 0 answering of 3 tried")), qPrintable(run.out));
        QVERIFY2(run.err.isEmpty(), qPrintable(run.err)); // no progress when stderr is no terminal
    }

    // A serial line: every setting of the lists, up to the first answer.
    Simulator sim;
    const QString plc = sim.start({"--pty", "--station", "7"});
    Run run = norvo({"--first", "--stations", "7-8", "--bauds", "9600,19200", "--formats", "7E1,8N1",
                     plc, "scan"});
    CHECK_RUN(run, 0);
    QVERIFY2(run.out.startsWith(QStringLiteral("station 7 answers on %1,9600,7,1,E\n")
                                    .arg(plc.section(',', 0, 0))),
             qPrintable(run.out));
    QVERIFY2(run.out.contains(QLatin1String("1 answering of 1 tried")), qPrintable(run.out));
    // Each line setting is named as it starts, and a pty takes every format.
    QVERIFY2(run.err.contains(QLatin1String("scanning at 9600 7E1")), qPrintable(run.err));
    QVERIFY2(run.err.contains(QLatin1String("every format will answer")), qPrintable(run.err));
}

// Another site open in the engineer's browser, or a DNS name rebound to
// loopback, gets 403 from both web servers, and nothing changes: no fault
// in the simulator, no write through watch. The page's own requests pass.
void TestCliRun::webServersRefuseOtherSites()
{
    Simulator sim;
    const QString plc = sim.start({"--tcp", "127.0.0.1:0", "--http", "127.0.0.1:0"});
    QVERIFY(!plc.isEmpty());
    const QString simHttp = sim.nextLine();
    QVERIFY2(simHttp.startsWith(QLatin1String("http 127.0.0.1:")), qPrintable(simHttp));

    QProcess watch;
    startProgram(watch, QStringLiteral(NORVO_BINARY),
                 {"--allow-write", "--interval", "50", plc, "watch", "D200:uint16", "M0:bool"});
    QVERIFY(watch.waitForStarted());
    while (!watch.canReadLine())
        QVERIFY(watch.waitForReadyRead(10000));
    const QString watchLine = QString::fromUtf8(watch.readLine()).trimmed();
    QVERIFY2(watchLine.startsWith(QLatin1String("watch http://127.0.0.1:")), qPrintable(watchLine));

    // What a page may send without asking is plain text; watch takes JSON
    // only, so a JSON write shows that the guard refuses it first.
    const struct {
        const char *name;
        int port;
        const char *read;
        const char *write;
        const char *body;
        const char *type;
    } servers[] = {
        {"norvo watch", QUrl(watchLine.mid(6)).port(), "/api/items", "/api/write",
         R"({"item":0,"values":["666"]})", "application/json"},
        {"norvo-sim", simHttp.section(QLatin1Char(':'), -1).toInt(), "/api/status", "/api/faults",
         R"({"kind":"drop"})", "text/plain"},
    };
    const struct {
        const char *name;
        const char *host;   // the name before ":PORT"; null: the address served
        const char *origin;
    } others[] = {
        {"another site", nullptr, "http://attacker.invalid"},
        {"a sandboxed page", nullptr, "null"},
        {"a page on another port", nullptr, "http://127.0.0.1:1"},
        {"a rebound name", "rebound.invalid", nullptr},
        {"a rebound name's page", "rebound.invalid", "http://rebound.invalid"},
    };
    for (const auto &server : servers) {
        for (const auto &other : others) {
            httplib::Client client("127.0.0.1", server.port);
            httplib::Headers headers;
            if (other.host)
                headers.emplace("Host", other.host + (":" + std::to_string(server.port)));
            if (other.origin)
                headers.emplace("Origin", other.origin);
            const QString what = QStringLiteral("%1 from %2").arg(QLatin1String(server.name), QLatin1String(other.name));
            for (const httplib::Result &result : {client.Get(server.read, headers),
                                                  client.Post(server.write, headers, server.body, server.type)}) {
                QVERIFY2(result, qPrintable(what));
                QVERIFY2(result->status == 403 && result->body.find("this server") != std::string::npos,
                         qPrintable(what + QStringLiteral(": ") + QString::fromStdString(result->body)));
            }
        }
    }
    // watch's own rule besides: a write is JSON, which a page must ask for.
    httplib::Client toWatch("127.0.0.1", servers[0].port);
    const httplib::Result plain = toWatch.Post(servers[0].write, servers[0].body, "text/plain");
    QVERIFY(plain && plain->status == 403);

    httplib::Client toSim("127.0.0.1", servers[1].port);
    const auto simJson = [&toSim](const char *path) {
        const httplib::Result result = toSim.Get(path);
        return result ? QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object() : QJsonObject();
    };
    QCOMPARE(simJson("/api/faults").value("faults").toArray(), QJsonArray());
    QCOMPARE(simJson("/api/memory/D200?type=uint16").value("values").toArray(), QJsonArray{0});

    // The pages themselves, which send their Origin with a write; watch's
    // first, before the drop fault meets its reads.
    for (const auto &server : servers) {
        const std::string own = "http://127.0.0.1:" + std::to_string(server.port);
        httplib::Client client("127.0.0.1", server.port);
        client.set_read_timeout(30);   // a write waits for the read under way
        const httplib::Result result = client.Post(server.write, {{"Origin", own}}, server.body, "application/json");
        QVERIFY2(result && result->status == 200,
                 result ? (server.name + (": " + result->body)).c_str() : server.name);
    }
    QCOMPARE(simJson("/api/memory/D200?type=uint16").value("values").toArray(), QJsonArray{666});
    QCOMPARE(simJson("/api/faults").value("faults").toArray().size(), 1);
    // What norvo refuses itself is a 400 that says so and why, not a
    // driver's status, and nothing is written. A whole number past 2^53 as
    // a JSON number would arrive changed: it must travel as a string.
    const struct {
        const char *body;
        const char *why;
    } refusals[] = {
        {R"({"item": 0, "values": [18446744073709551615]})", "send it as a string"},
        {R"({"item": 0, "values": ["99999"]})",
         R"(norvo refused the value, nothing was sent: "99999" is out of range for uint16 (0 to 65535))"},
        {R"({"item": 0, "values": ["abc"]})", R"(norvo refused the value, nothing was sent: "abc" is not a number)"},
        {R"({"item": 1, "values": [true]})", "not single bits: \"write M0 uint16 0x0001\""},
        {R"({"item": 1, "values": ["1"]})", "\"write --merge M0 bool 1\" changes only the named bits"},
    };
    for (const auto &refusal : refusals) {
        const std::string own = "http://127.0.0.1:" + std::to_string(servers[0].port);
        httplib::Client client("127.0.0.1", servers[0].port);
        const httplib::Result result = client.Post(servers[0].write, {{"Origin", own}}, refusal.body, "application/json");
        QVERIFY2(result && result->status == 400, refusal.body);
        const QString error = QJsonDocument::fromJson(QByteArray::fromStdString(result->body))
                                  .object().value("error").toString();
        QVERIFY2(error.contains(QString::fromUtf8(refusal.why)), qPrintable(error));
    }
    QCOMPARE(simJson("/api/memory/D200?type=uint16").value("values").toArray(), QJsonArray{666});
    ::kill(pid_t(watch.processId()), SIGINT);
    QVERIFY(watch.waitForFinished(10000));
}
#endif

QTEST_GUILESS_MAIN(TestCliRun)
#include "tst_clirun.moc"
