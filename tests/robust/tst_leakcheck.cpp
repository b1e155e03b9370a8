// SPDX-License-Identifier: LGPL-2.1-or-later
// The leak check: many exchanges of every kind (reads and writes of mixed
// types, answers refused by the PLC, a few left unanswered, requests the
// driver refuses itself), connect/disconnect cycles over TCP and a pty, and
// drivers created and deleted with and without an open link, all against
// the in-process simulator.
//
// In the sanitizer build LeakSanitizer fails the program on any leak at
// exit. Elsewhere the resident set must not grow after the warm-up (under
// AddressSanitizer and valgrind it does by design: both hold freed memory).
// For a valgrind run by hand:
//   NORVO_LEAK_EXCHANGES=2000 valgrind --leak-check=full --error-exitcode=1 ./tst_leakcheck
//
// NORVO_LEAK_EXCHANGES  exchanges (default 10000; 2000 under AddressSanitizer)
// NORVO_LEAK_CYCLES     connect/disconnect cycles per link kind (default 100)
// NORVO_LEAK_DRIVERS    drivers created and deleted (default 100)

#include "HostSession.h"
#include "PlcModel.h"
#include "simserver.h"

#include <QtTest/QtTest>

namespace {

// Growth of the resident set that still counts as flat: allocator caches
// and Qt's lazily built tables settle within it.
constexpr qint64 allowedGrowth = 12 * 1024 * 1024;

const PolledLabel readLabels[] = {
    { "D100", SimArea::D, 100, DT_Int16, 4 },
    { "D110", SimArea::D, 110, DT_UInt16, 1 },
    { "D200", SimArea::D, 200, DT_Int32, 3 },
    { "D300", SimArea::D, 300, DT_Float, 2 },
    { "D400", SimArea::D, 400, DT_Double, 2 },
    { "D500", SimArea::D, 500, DT_UInt64, 1 },
    { "D600", SimArea::D, 600, DT_UInt8, 5 },
    { "R7", SimArea::R, 7, DT_Int64, 1 },
    { "TMR5", SimArea::RT, 5, DT_UInt32, 2 },
    { "CTR12", SimArea::RC, 12, DT_Int8, 4 },
    { "D20", SimArea::D, 20, DT_Bool, 20 },
    { "X17", SimArea::X, 17, DT_Bool, 10 },
    { "Y3", SimArea::Y, 3, DT_UInt8, 2 },
    { "X100", SimArea::X, 100, DT_Int16, 1 },
    { "M16", SimArea::WM, 16, DT_UInt16, 2 },
};

struct Tally
{
    int ok = 0;
    int refusedByPlc = 0; // status 7
    int noAnswer = 0;     // status 8
    int refusedByDriver = 0;
    int other = 0;
};

} // namespace

class TestLeakCheck : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void exchanges();
    void connectCycles_data();
    void connectCycles();
    void driverObjects();
    void cleanupTestCase();

private:
    void runExchanges(CDriveBaseClass *driver, int count, Tally &tally);
    void warmUp();
    QString tcpString() const { return QStringLiteral("127.0.0.1:%1").arg(tcpPlc.port()); }
    QString ptyString() const { return ptyPlc.ptyPath() + QStringLiteral(",115200,8,1,N"); }

    std::unique_ptr<QuietLinkMessages> quiet;
    SimServer tcpPlc;
    SimServer ptyPlc;
    SimMemory memory;
    qint64 baseline = 0;
    int exchangeCount = 0;
    int step = 0;
};

void TestLeakCheck::initTestCase()
{
    quiet.reset(new QuietLinkMessages); // over the test log's own handler
    PlcModel::fillMemory(memory, 7);
    for (SimServer *plc : { &tcpPlc, &ptyPlc }) {
        plc->setMemory(memory);
        // Every 9th request refused by the PLC, now and then none answered.
        SimFaults faults;
        faults.error = SimFaultRule::everyNth(9);
        faults.drop = SimFaultRule::everyNth(1499);
        plc->setFaults(faults);
    }
    QVERIFY2(tcpPlc.startTcp(), qPrintable(tcpPlc.errorString()));
    QVERIFY2(ptyPlc.startPty(), qPrintable(ptyPlc.errorString()));

    exchangeCount = envNumber("NORVO_LEAK_EXCHANGES", underAddressSanitizer() ? 2000 : 10000);
    warmUp();
    baseline = residentBytes();
}

// A short run of every phase, so that what is built once (Qt's meta types,
// the socket engine, the allocator's pools) is in place before the baseline.
void TestLeakCheck::warmUp()
{
    Tally tally;
    CDriveBaseClass *driver = newDriver();
    QCOMPARE(driver->ConnectDrive(tcpString()), 0);
    runExchanges(driver, 300, tally);
    QCOMPARE(driver->DisConnectDrive(), 0);
    QCOMPARE(driver->DestroyFree(), 0);
    QCOMPARE(driver->ConnectDrive(ptyString()), 0);
    runExchanges(driver, 100, tally);
    deleteDriver(driver);
    tcpPlc.clearRequestLog();
    ptyPlc.clearRequestLog();
}

void TestLeakCheck::runExchanges(CDriveBaseClass *driver, int count, Tally &tally)
{
    for (int i = 0; i < count; ++i, ++step) {
        const int kind = step % 10;
        CLabelVariable result;
        if (kind < 6) {
            const PolledLabel &label = readLabels[step % std::size(readLabels)];
            result = label.count == 1 && step % 2 == 0
                ? driver->ReadVariable(label.label, label.type)
                : driver->ReadVariable(label.label, label.type, label.count);
            QString why;
            if (result.status == 0)
                QVERIFY2(PlcModel::matches(result, memory, label, &why), qPrintable(label.label + ": " + why));
        } else if (kind < 9) {
            // Writes go where no read looks.
            CLabelVariable record;
            const QString label = QStringLiteral("D%1").arg(5000 + step % 400);
            switch (step % 3) {
            case 0:
                record.value = QVariant::fromValue(QList<short>{ short(step), -1, 7 });
                result = driver->WriteVariable(label, DT_Int16, record, 3);
                break;
            case 1:
                record.value = QVariant::fromValue(QList<double>{ step * 0.5 });
                result = driver->WriteVariable(label, DT_Double, record);
                break;
            default:
                record.value = QVariant::fromValue(QList<unsigned char>{ 1, 2, 3, 4 });
                result = driver->WriteVariable(label, DT_UInt8, record, 4);
                break;
            }
        } else {
            // Refused before anything is sent.
            switch (step % 4) {
            case 0: result = driver->ReadVariable(QStringLiteral("Q5"), DT_Int16, 1); break;
            case 1: result = driver->ReadVariable(QStringLiteral("D5"), DT_Int16, 0); break;
            case 2: result = driver->WriteVariable(QStringLiteral("D5"), DT_Bool, CLabelVariable(), 1); break;
            default: result = driver->ReadVariable(QStringLiteral("D5"), DT_None, 1); break;
            }
            QVERIFY(result.status >= 2 && result.status <= 5);
            ++tally.refusedByDriver;
            continue;
        }
        switch (result.status) {
        case 0: ++tally.ok; break;
        case 7: ++tally.refusedByPlc; break;
        case 8: ++tally.noAnswer; break;
        default: ++tally.other; break;
        }
    }
}

void TestLeakCheck::exchanges()
{
    // Most over TCP, a fifth over the pty.
    QElapsedTimer clock;
    clock.start();
    Tally tally;
    CDriveBaseClass *driver = newDriver();
    QCOMPARE(driver->ConnectDrive(tcpString()), 0);
    runExchanges(driver, exchangeCount - exchangeCount / 5, tally);
    QCOMPARE(driver->DisConnectDrive(), 0);
    QCOMPARE(driver->DestroyFree(), 0);
    QCOMPARE(driver->ConnectDrive(ptyString()), 0);
    runExchanges(driver, exchangeCount / 5, tally);
    deleteDriver(driver);
    tcpPlc.clearRequestLog();
    ptyPlc.clearRequestLog();

    qInfo("%d exchanges in %.1f s: %d good, %d refused by the PLC, %d unanswered, "
          "%d refused by the driver, %d other",
          exchangeCount, clock.elapsed() / 1000.0, tally.ok, tally.refusedByPlc, tally.noAnswer,
          tally.refusedByDriver, tally.other);
    QCOMPARE(tally.other, 0);
    QVERIFY(tally.ok > exchangeCount / 2);
    QVERIFY(tally.refusedByPlc > 0);
}

void TestLeakCheck::connectCycles_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::newRow("tcp") << true;
    QTest::newRow("pty") << false;
}

void TestLeakCheck::connectCycles()
{
    QFETCH(bool, overTcp);
    const int cycles = envNumber("NORVO_LEAK_CYCLES", 100);
    const PolledLabel &label = readLabels[0];
    CDriveBaseClass *driver = newDriver();
    for (int i = 0; i < cycles; ++i) {
        QCOMPARE(driver->ConnectDrive(overTcp ? tcpString() : ptyString()), 0);
        const CLabelVariable result = driver->ReadVariable(label.label, label.type, label.count);
        QVERIFY(result.status == 0 || result.status == 7 || result.status == 8);
        QCOMPARE(driver->DisConnectDrive(), 0);
        if (i % 2 == 1)
            QCOMPARE(driver->DestroyFree(), 0);
    }
    deleteDriver(driver);
}

void TestLeakCheck::driverObjects()
{
    const int drivers = envNumber("NORVO_LEAK_DRIVERS", 100);
    for (int i = 0; i < drivers; ++i) {
        CDriveBaseClass *driver = newDriver();
        driver->SetConnectPar(QStringLiteral("1"));
        driver->DebugCmd(EDebugBuildInfo);
        switch (i % 4) {
        case 0: // never connected
            break;
        case 1: // deleted with its TCP link open
            QCOMPARE(driver->ConnectDrive(tcpString()), 0);
            driver->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
            break;
        case 2: // deleted with its serial link open
            QCOMPARE(driver->ConnectDrive(ptyString()), 0);
            driver->ReadVariable(QStringLiteral("D100"), DT_Int16, 2);
            break;
        default: // closed and freed first
            QCOMPARE(driver->ConnectDrive(tcpString()), 0);
            QCOMPARE(driver->DisConnectDrive(), 0);
            QCOMPARE(driver->DestroyFree(), 0);
            break;
        }
        deleteDriver(driver);
    }
}

void TestLeakCheck::cleanupTestCase()
{
    tcpPlc.stop();
    ptyPlc.stop();
    tcpPlc.clearRequestLog();
    ptyPlc.clearRequestLog();
    const qint64 end = residentBytes();
    qInfo("resident set: %.1f MiB after warm-up, %.1f MiB at the end (%+.1f MiB); "
          "%d disconnect warnings",
          baseline / 1048576.0, end / 1048576.0, (end - baseline) / 1048576.0,
          QuietLinkMessages::disconnects());
    if (underAddressSanitizer())
        QSKIP("AddressSanitizer's quarantine grows the resident set; LeakSanitizer checks at exit");
    if (qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("vgpreload")))
        QSKIP("valgrind holds freed blocks back (--freelist-vol); its own report counts");
    QVERIFY2(end - baseline < allowedGrowth, "the resident set grew after the warm-up");
}

QTEST_GUILESS_MAIN(TestLeakCheck)
#include "tst_leakcheck.moc"
