// SPDX-License-Identifier: LGPL-2.1-or-later
// The host's calls in any order: random sequences of the eleven interface
// calls on several drivers at once, with links to a PLC over TCP and over a
// pty that come and go, drivers deleted with their link open and new ones
// taken from the factory. Nothing may crash and every call must answer
// with one of its documented codes; a read reported as good must carry
// what the PLC holds.
//
// NORVO_STRESS_STEPS  calls per sequence (default 1500)

#include "HostSession.h"
#include "PlcModel.h"
#include "RefusingPort.h"
#include "simserver.h"
#include "TestTable.h"

#include <QtCore/QRandomGenerator>
#include <QtTest/QtTest>

namespace {

const PolledLabel polledLabels[] = {
    { "D100", SimArea::D, 100, DT_Int16, 3 },
    { "D200", SimArea::D, 200, DT_Int32, 2 },
    { "D300", SimArea::D, 300, DT_Float, 1 },
    { "D400", SimArea::D, 400, DT_Double, 1 },
    { "R7", SimArea::R, 7, DT_UInt16, 2 },
    { "X17", SimArea::X, 17, DT_Bool, 5 },
    { "Y3", SimArea::Y, 3, DT_UInt8, 2 },
    { "M16", SimArea::WM, 16, DT_UInt16, 1 },
};

// Read statuses the driver documents; 1 ("no result") is never expected.
bool isReadStatus(int status)
{
    return status == 0 || (status >= 2 && status <= 5) || (status >= 7 && status <= 9);
}

} // namespace

class TestHostStress : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void callsBeforeAnyLink();
    void linkKindsInTurn();
    void portNameWithNul();
    void callsFromInsideAWait_data();
    void callsFromInsideAWait();
    void randomSequences_data();
    void randomSequences();

private:
    QString tcpString() const { return QStringLiteral("127.0.0.1:%1").arg(tcpPlc.port()); }
    QString ptyString() const { return ptyPlc.ptyPath() + QStringLiteral(",115200,8,1,N"); }
    bool readIsGood(CDriveBaseClass *driver, const PolledLabel &label);

    std::unique_ptr<QuietLinkMessages> quiet;
    SimServer tcpPlc;
    SimServer ptyPlc;
    SimMemory memory;
    quint16 closedPort = 0;
};

void TestHostStress::initTestCase()
{
    quiet.reset(new QuietLinkMessages);
    PlcModel::fillMemory(memory, 23);
    tcpPlc.setMemory(memory);
    ptyPlc.setMemory(memory);
    QVERIFY2(tcpPlc.startTcp(), qPrintable(tcpPlc.errorString()));
    QVERIFY2(ptyPlc.startPty(), qPrintable(ptyPlc.errorString()));
    closedPort = refusingPort();
    QVERIFY(closedPort != 0);
}

bool TestHostStress::readIsGood(CDriveBaseClass *driver, const PolledLabel &label)
{
    const CLabelVariable result = driver->ReadVariable(label.label, label.type, label.count);
    QString why;
    if (result.status == 0 && !PlcModel::matches(result, memory, label, &why))
        qWarning("%s: %s", qPrintable(label.label), qPrintable(why));
    return result.status == 0 && why.isEmpty();
}

void TestHostStress::callsBeforeAnyLink()
{
    CDriveBaseClass *driver = newDriver();
    QCOMPARE(driver->ReadVariable(QStringLiteral("D100"), DT_Int16).status, 9);
    CLabelVariable record;
    record.value = QVariant::fromValue(QList<short>{ 1 });
    QCOMPARE(driver->WriteVariable(QStringLiteral("D100"), DT_Int16, record).status, 9);
    QCOMPARE(driver->DisConnectDrive(), 1);
    QCOMPARE(driver->DisConnectDrive(), 1);
    QCOMPARE(driver->DestroyFree(), 1);
    QCOMPARE(driver->DestroyFree(), 1);
    QCOMPARE(driver->ReadVariable(QStringLiteral("D100"), DT_Int16, 2).status, 9);
    deleteDriver(driver);
}

// The same driver over TCP, then a pty, then TCP again, with and without
// closing in between, and the calls a careless host makes on the way. Each
// read must reach the PLC of the link opened last.
void TestHostStress::linkKindsInTurn()
{
    const PolledLabel &label = polledLabels[0];
    CDriveBaseClass *driver = newDriver();
    // A link opened anew is opened with a synchronising read first.
    auto readsOver = [&](SimServer &plc) {
        const int before = plc.requestLog().size();
        const int after = readIsGood(driver, label) ? plc.requestLog().size() : -1;
        return after == before + 1 || after == before + 2;
    };

    QCOMPARE(driver->ConnectDrive(tcpString()), 0);
    QVERIFY(readsOver(tcpPlc));
    QCOMPARE(driver->DisConnectDrive(), 0);
    QCOMPARE(driver->ReadVariable(label.label, label.type).status, 9);
    const int again = driver->DisConnectDrive(); // twice
    QVERIFY(again == 0 || again == 1);

    // Over to the pty after the TCP link was closed.
    QCOMPARE(driver->ConnectDrive(ptyString()), 0);
    QVERIFY2(readsOver(ptyPlc), "serial link after a closed TCP link");

    // Freed, then used: not connected.
    QVERIFY(driver->DestroyFree() == 0);
    while (driver->DestroyFree() == 0) { }
    QCOMPARE(driver->ReadVariable(label.label, label.type).status, 9);

    // A fresh start on the pty works.
    QCOMPARE(driver->ConnectDrive(ptyString()), 0);
    QVERIFY(readsOver(ptyPlc));

    // To TCP with the serial port open, then straight back to the pty
    // without closing TCP first.
    QCOMPARE(driver->ConnectDrive(tcpString()), 0);
    QVERIFY(readsOver(tcpPlc));
    QCOMPARE(driver->ConnectDrive(ptyString()), 0);
    QVERIFY2(readsOver(ptyPlc), "serial link opened while TCP was up");

    // Deleted with both link objects present.
    deleteDriver(driver);
}

// A NUL in the serial port name: the port cannot be opened, and nothing may
// be left behind. Qt's lock file for the port is created with the name cut
// at the NUL but removed by its full name, which fails; a later process
// that finds the stale file recurses without end in QLockFile::tryLock
// until it runs out of memory. The file is removed here whatever happens,
// so that no later run trips over it.
void TestHostStress::portNameWithNul()
{
    const QString cutName = QStringLiteral("LCK.._nonexistent-norvo-test_tty");
    const QStringList lockFolders = { "/var/lock", "/run/lock", "/tmp", "/var/tmp" };
    auto removeLeft = [&] {
        bool found = false;
        for (const QString &folder : lockFolders)
            found = QFile::remove(folder + QLatin1Char('/') + cutName) || found;
        return found;
    };
    removeLeft(); // a stale file from an interrupted run would make the call below recurse

    CDriveBaseClass *driver = newDriver();
    const QString port = QStringLiteral("/nonexistent-norvo-test/tty") + QChar(0) + QStringLiteral("S1");
    QCOMPARE(driver->ConnectDrive(port + QStringLiteral(",9600,8,1,N")), -1);
    QCOMPARE(driver->ReadVariable(QStringLiteral("D100"), DT_Int16).status, 9);
    deleteDriver(driver);

    const bool left = removeLeft();
    QVERIFY2(!left, "a lock file was left behind");
}

void TestHostStress::callsFromInsideAWait_data()
{
    addColumns<bool, QString, int>("overTcp", "call", "outer");
    for (bool tcp : { true, false }) {
        const char *on = tcp ? "tcp" : "pty";
        // Refused as busy; the waiting read goes on.
        QTest::addRow("%s: read", on) << tcp << "read" << 0;
        QTest::addRow("%s: write", on) << tcp << "write" << 0;
        // The link goes away under the waiting read: not connected.
        QTest::addRow("%s: connect again", on) << tcp << "connect" << 9;
        QTest::addRow("%s: connect the other kind", on) << tcp << "other" << 9;
        QTest::addRow("%s: disconnect", on) << tcp << "disconnect" << 9;
        QTest::addRow("%s: destroy", on) << tcp << "destroy" << 9;
    }
}

// The host's handlers run while a call waits for the PLC (its timers, its
// sockets). Any call they make is safe: the waiting call ends with a
// defined status, and the driver goes on working.
void TestHostStress::callsFromInsideAWait()
{
    QFETCH(bool, overTcp);
    QFETCH(QString, call);
    QFETCH(int, outer);

    SimServer &plc = overTcp ? tcpPlc : ptyPlc;
    SimFaults slow;
    slow.delay = SimFaultRule::always();
    slow.delayMs = 120;
    plc.setFaults(slow);
    const QString own = overTcp ? tcpString() : ptyString();
    const QString other = overTcp ? ptyString() : tcpString();
    const PolledLabel &label = polledLabels[0];

    CDriveBaseClass *driver = newDriver();
    QCOMPARE(driver->ConnectDrive(own), 0);
    int nested = -100;
    QTimer::singleShot(30, [&] {
        CLabelVariable record;
        record.value = QVariant::fromValue(QList<short>{ 1 });
        if (call == "read")
            nested = driver->ReadVariable(label.label, label.type).status;
        else if (call == "write")
            nested = driver->WriteVariable(QStringLiteral("D900"), DT_Int16, record).status;
        else if (call == "connect")
            nested = driver->ConnectDrive(own);
        else if (call == "other")
            nested = driver->ConnectDrive(other);
        else if (call == "disconnect")
            nested = driver->DisConnectDrive();
        else
            nested = driver->DestroyFree();
    });
    QCOMPARE(driver->ReadVariable(label.label, label.type, label.count).status, outer);
    if (call == "read" || call == "write")
        QCOMPARE(nested, 9);
    else
        QVERIFY(nested == 0 || nested == 1);

    // Back to work, over either link: the late answer is never taken.
    plc.setFaults(SimFaults());
    QCOMPARE(driver->ConnectDrive(own), 0);
    QVERIFY(readIsGood(driver, polledLabels[1]));
    QVERIFY(readIsGood(driver, label));
    deleteDriver(driver);
}

void TestHostStress::randomSequences_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::newRow("seed 1") << quint32(1);
    QTest::newRow("seed 2") << quint32(2);
}

void TestHostStress::randomSequences()
{
    QFETCH(quint32, seed);
    QRandomGenerator random(seed);
    const int steps = envNumber("NORVO_STRESS_STEPS", 1500);

    const QStringList connectionStrings = {
        tcpString(), tcpString(), ptyString(), ptyString(),
        QStringLiteral("127.0.0.1:%1").arg(closedPort),  // refused: -3
        QStringLiteral("/nonexistent/ttyS9,9600,8,1,N"), // no device: -1
        QStringLiteral(",9600,8,1,N"), QStringLiteral("127.0.0.1:"),
        QStringLiteral("plc.local:500"), QStringLiteral("127.0.0.1;500"), // -1
        QStringLiteral("nonsense"), QString(),                            // -4
    };
    const QStringList stations = { "1", "1", "1", "1", "1", "1", "0", "x", "300", "-1", "255" };
    const QStringList badLabels = { "Q5", "", "D12345", "D", "TMR", "\u4e2d100", "d1a2" };

    QVector<CDriveBaseClass *> drivers { newDriver() };
    QMap<QString, int> calls;
    for (int step = 0; step < steps; ++step) {
        if (drivers.isEmpty())
            drivers.append(newDriver());
        const int which = random.bounded(drivers.size());
        CDriveBaseClass *driver = drivers.at(which);
        const int call = random.bounded(16);
        switch (call) {
        case 0:
            QCOMPARE(driver->getDriveName(), QStringLiteral("Norvo"));
            QCOMPARE(driver->getversion_number(), QStringLiteral("V1.2.3 20230221"));
            calls["identity"]++;
            break;
        case 1: {
            const int command = random.bounded(-1, 6);
            const QString text = driver->DebugCmd(EDebugCmdType(command));
            switch (command) {
            case 0: QCOMPARE(text, QStringLiteral("StartDebug")); break;
            case 1: QCOMPARE(text, QStringLiteral("StopDebug")); break;
            case 2: QVERIFY(text.startsWith(QStringLiteral("v1.2.3 "))); break;
            case 3: QCOMPARE(text, QStringLiteral("Norvo")); break;
            default: QVERIFY(text.isNull()); break;
            }
            // The log stays off: hundreds of lines would only slow the run.
            driver->DebugCmd(EDebugStop);
            calls["DebugCmd"]++;
            break;
        }
        case 2: case 3: {
            const QString text = connectionStrings.at(random.bounded(connectionStrings.size()));
            const int rc = driver->ConnectDrive(text);
            if (text == tcpString())
                QCOMPARE(rc, 0);
            else if (text == ptyString())
                QVERIFY(rc == 0 || rc == -1); // -1 while another driver holds the port
            else if (text.contains(QString::number(closedPort)))
                QCOMPARE(rc, -3);
            else if (text == QLatin1String("nonsense") || text.isEmpty())
                QCOMPARE(rc, -4);
            else
                QCOMPARE(rc, -1);
            calls["ConnectDrive"]++;
            break;
        }
        case 4: {
            const QString station = stations.at(random.bounded(stations.size()));
            const int rc = driver->SetConnectPar(station);
            const uint number = station.toUInt();
            QCOMPARE(rc, number > 0xFF ? -1 : int(number));
            calls["SetConnectPar"]++;
            break;
        }
        case 5: case 12: {
            // Both answer 0 or 1, whatever the link's state.
            const bool disconnect = call == 5;
            const int rc = disconnect ? driver->DisConnectDrive() : driver->DestroyFree();
            QVERIFY2(rc == 0 || rc == 1, qPrintable(QString::number(rc)));
            calls[disconnect ? "DisConnectDrive" : "DestroyFree"]++;
            break;
        }
        case 6: case 7: case 8: case 9: {
            const PolledLabel &label = polledLabels[random.bounded(int(std::size(polledLabels)))];
            const bool twoArguments = label.count == 1 && random.bounded(2) == 0;
            const CLabelVariable result = twoArguments
                ? driver->ReadVariable(label.label, label.type)
                : driver->ReadVariable(label.label, label.type, label.count);
            QVERIFY2(isReadStatus(result.status), qPrintable(QString::number(result.status)));
            QString why;
            if (result.status == 0)
                QVERIFY2(PlcModel::matches(result, memory, label, &why), qPrintable(label.label + ": " + why));
            else
                QVERIFY(!result.value.isValid());
            QCOMPARE(result.address, label.label);
            calls["ReadVariable"]++;
            break;
        }
        case 10: {
            const QString label = random.bounded(3) == 0
                ? badLabels.at(random.bounded(badLabels.size()))
                : QStringLiteral("D%1").arg(random.bounded(100));
            const int count = random.bounded(-1, 4);
            const DataType type = DataType(random.bounded(-1, 42));
            const CLabelVariable result = driver->ReadVariable(label, type, count);
            QVERIFY2(isReadStatus(result.status), qPrintable(QString::number(result.status)));
            QCOMPARE(result.count, count);
            QCOMPARE(int(result.type), int(type));
            calls["ReadVariable (odd)"]++;
            break;
        }
        case 11: {
            CLabelVariable record;
            record.value = QVariant::fromValue(QList<int>{ int(random.generate()), 7 });
            record.auxValue = 42;
            const int count = random.bounded(0, 4);
            const bool oneElement = random.bounded(2) == 0;
            const QString label = QStringLiteral("D%1").arg(5000 + random.bounded(100));
            const CLabelVariable result = oneElement
                ? driver->WriteVariable(label, DT_Int32, record)
                : driver->WriteVariable(label, DT_Int32, record, count);
            QVERIFY2(isReadStatus(result.status), qPrintable(QString::number(result.status)));
            QCOMPARE(result.auxValue, 42);
            calls["WriteVariable"]++;
            break;
        }
        case 13:
            // Deleted whatever its state, open links included.
            deleteDriver(drivers.takeAt(which));
            calls["delete"]++;
            break;
        case 14:
            if (drivers.size() < 3)
                drivers.append(newDriver());
            calls["getSharedLibrary"]++;
            break;
        default: {
            // A driver freshly connected over TCP to the PLC with station 1
            // reads what it holds.
            driver->SetConnectPar(QStringLiteral("1"));
            QCOMPARE(driver->ConnectDrive(tcpString()), 0);
            QVERIFY2(readIsGood(driver, polledLabels[random.bounded(int(std::size(polledLabels)))]),
                     "a fresh link must read");
            calls["connect and read"]++;
            break;
        }
        }
    }
    for (CDriveBaseClass *driver : drivers)
        deleteDriver(driver);

    QStringList figures;
    for (auto it = calls.cbegin(); it != calls.cend(); ++it)
        figures << QStringLiteral("%1 %2").arg(it.key()).arg(it.value());
    qInfo("%d calls: %s; so far %d disconnect warnings, %d requests on a closed socket",
          steps, qPrintable(figures.join(QStringLiteral(", "))), QuietLinkMessages::disconnects(),
          QuietLinkMessages::readsOnClosedSocket());
}

QTEST_GUILESS_MAIN(TestHostStress)
#include "tst_hoststress.moc"
