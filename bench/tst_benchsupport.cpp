// The benchmark's measuring parts: if these are wrong, every figure is.
#include "benchsetup.h"
#include "cpucomparison.h"
#include "exchangeloop.h"
#include "footprint.h"
#include "latencystats.h"
#include "processstats.h"
#include "referenceloop.h"
#include "report.h"
#include "simprocess.h"

#include "PluginLoader.h"

#include <QtCore/QFile>
#include <QtCore/QProcess>
#include <QtTest/QtTest>

#include <algorithm>
#include <numeric>
#include <csignal>
#include <random>
#include <vector>

class TestBenchSupport : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void percentilesByNearestRank();
    void cpuRatioOfPairedBlocks_data();
    void cpuRatioOfPairedBlocks();
    void procStatusFields();
    void residentMemoryAndDescriptorsFollowTheProcess();
    void footprintSampleTravelsAsText();
    void simulatorLineGivesConnectionString();
    void exchangesAgainstSimulatorProcess();
    void simulatorsEndWithTheBenchmark();
    void driversTakeTurnsAndFailuresCount();
    void plainSocketLoop();
    void lateAnswersAreWaitedFor();
    void bareHostReportsEachStage();
    void reportTalliesTargets();
    void commandLine();

private:
    PluginLoader plugin;
};

void TestBenchSupport::initTestCase()
{
    QVERIFY2(plugin.load(QStringLiteral(NORVO_BENCH_PLUGIN), QString()),
             qPrintable(plugin.errorString()));
}

void TestBenchSupport::percentilesByNearestRank()
{
    // 1..2000 ms in random order.
    std::vector<double> samples(2000);
    std::iota(samples.begin(), samples.end(), 1.0);
    std::shuffle(samples.begin(), samples.end(), std::mt19937(7));
    const LatencyStats stats = LatencyStats::of(samples);
    QCOMPARE(stats.count, 2000);
    QCOMPARE(stats.p50, 1000.0);
    QCOMPARE(stats.p99, 1980.0);
    QCOMPARE(stats.max, 2000.0);
    QCOMPARE(stats.mean, 1000.5);

    // One slow exchange among a hundred shows in p99 only when it is the
    // slowest 1%: with 100 samples p99 is the 99th, not the maximum.
    std::vector<double> hundred(100, 5.0);
    hundred.back() = 300.0;
    const LatencyStats few = LatencyStats::of(hundred);
    QCOMPARE(few.p99, 5.0);
    QCOMPARE(few.max, 300.0);

    QCOMPARE(LatencyStats::of({4.2}).p99, 4.2);
    QCOMPARE(LatencyStats::of({}).count, 0);
}

void TestBenchSupport::cpuRatioOfPairedBlocks_data()
{
    using Micros = QVector<double>;
    QTest::addColumn<Micros>("driver");
    QTest::addColumn<Micros>("plain");
    QTest::addColumn<int>("pairs");
    QTest::addColumn<double>("ratio");
    QTest::addColumn<double>("driverMedian");
    QTest::addColumn<double>("plainMedian");
    // The load doubles the cost of both sides alike: the pairs keep the ratio.
    QTest::newRow("drifting load") << Micros{120, 240, 180} << Micros{100, 200, 150} << 3 << 1.2 << 180.0
                                   << 150.0;
    // A burst that hit one side of one pair does not move the median.
    QTest::newRow("burst") << Micros{110, 110, 400} << Micros{100, 100, 100} << 3 << 1.1 << 110.0 << 100.0;
    QTest::newRow("even count") << Micros{100, 300} << Micros{100, 100} << 2 << 2.0 << 200.0 << 100.0;
    // Unmeasured blocks and an unmatched block are left out.
    QTest::newRow("gaps") << Micros{0, 130, 150, 99} << Micros{100, 100, 0} << 1 << 1.3 << 130.0 << 100.0;
    QTest::newRow("none") << Micros{} << Micros{100} << 0 << 0.0 << 0.0 << 0.0;
}

void TestBenchSupport::cpuRatioOfPairedBlocks()
{
    QFETCH(QVector<double>, driver);
    QFETCH(QVector<double>, plain);
    const CpuComparison comparison = CpuComparison::of({driver.begin(), driver.end()},
                                                       {plain.begin(), plain.end()});
    QTEST(comparison.pairs, "pairs");
    QTEST(comparison.ratio, "ratio");
    QTEST(comparison.subjectMicros, "driverMedian");
    QTEST(comparison.referenceMicros, "plainMedian");
}

void TestBenchSupport::procStatusFields()
{
    const QByteArray status = "Name:\tbench\nVmRSSx:\t9 kB\nVmRSS:\t   1234 kB\nThreads:\t1\nBad:\tkB\n";
    QCOMPARE(ProcessStats::statusField(status, "VmRSS"), qint64(1234));
    QCOMPARE(ProcessStats::statusField(status, "Threads"), qint64(1));
    QCOMPARE(ProcessStats::statusField(status, "VmHWM"), qint64(-1));
    QCOMPARE(ProcessStats::statusField(status, "Bad"), qint64(-1));
    QCOMPARE(ProcessStats::statusField(QByteArray(), "VmRSS"), qint64(-1));
}

void TestBenchSupport::residentMemoryAndDescriptorsFollowTheProcess()
{
    const qint64 before = ProcessStats::residentKiB();
    QVERIFY(before > 0);
    std::vector<char> touched(16 * 1024 * 1024, 1);
    QVERIFY(ProcessStats::residentKiB() >= before + 12 * 1024);
    touched.clear();

    const int fds = ProcessStats::openFds();
    QVERIFY(fds >= 3);
    QFile file(QStringLiteral("/dev/null"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(ProcessStats::openFds(), fds + 1);
    file.close();
    QCOMPARE(ProcessStats::openFds(), fds);

    const double cpu = ProcessStats::cpuSeconds();
    volatile double sink = 0;
    for (int i = 0; i < 20000000; ++i)
        sink = sink + i;
    QVERIFY(ProcessStats::cpuSeconds() > cpu);
    QVERIFY(!ProcessStats::loadAverage().isEmpty());
}

void TestBenchSupport::footprintSampleTravelsAsText()
{
    FootprintSample sample;
    sample.hostKiB = 9000;
    sample.loadedKiB = 12000;
    sample.createdKiB = 12100;
    sample.connectedKiB = 12500;
    sample.fdsCreated = 7;
    sample.fdsConnected = 9;
    sample.failedReads = 1;
    const FootprintSample back = FootprintSample::parse("noise line\n" + sample.toText());
    QCOMPARE(back.toText(), sample.toText());

    // A child that died half way leaves the rest unmeasured, not zero.
    const FootprintSample partial = FootprintSample::parse("hostKiB 9000\nloadedKiB x\n");
    QCOMPARE(partial.hostKiB, qint64(9000));
    QCOMPARE(partial.loadedKiB, qint64(-1));
    QCOMPARE(partial.connectedKiB, qint64(-1));
}

void TestBenchSupport::simulatorLineGivesConnectionString()
{
    QCOMPARE(SimProcess::connectionStringFor(QStringLiteral("tcp 127.0.0.1:4711"), 9600),
             QStringLiteral("127.0.0.1:4711"));
    QCOMPARE(SimProcess::connectionStringFor(QStringLiteral("pty /dev/pts/7"), 115200),
             QStringLiteral("/dev/pts/7,115200,8,1,N"));
    QVERIFY(SimProcess::connectionStringFor(QStringLiteral("tcp "), 9600).isEmpty());
    QVERIFY(SimProcess::connectionStringFor(QStringLiteral("norvo-sim: cannot listen"), 9600).isEmpty());
    QVERIFY(SimProcess::connectionStringFor(QString(), 9600).isEmpty());
}

// The loop the figures come from, over both links of a real simulator
// process; failures are counted, not hidden.
void TestBenchSupport::exchangesAgainstSimulatorProcess()
{
    for (const QStringList &link : {QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")},
                                    QStringList{QStringLiteral("--pty")}}) {
        qint64 simPid = 0;
        {
            SimProcess sim(QStringLiteral(NORVO_BENCH_SIM));
            HostDriver driver(plugin);
            QCOMPARE(connectToSimulator(&sim, &driver, link, 3), QString());
            simPid = sim.pid();
            QVERIFY(simPid > 0);
            QCOMPARE(checkRoundTrip(driver.get()), QString());

            const ExchangeRun reads = runExchanges({driver.get()}, {false, 255}, 5);
            QCOMPARE(reads.exchanges, 5);
            QCOMPARE(reads.failures, 0);
            QCOMPARE(reads.latency.count, 5);
            // Every exchange sits out at least the driver's 5 ms pause.
            QVERIFY(reads.latency.p50 >= exchangeFloorMs * 0.9);
            QVERIFY(reads.wallSeconds >= 5 * exchangeFloorMs * 0.9 / 1000);

            // A station the simulator does not serve: no answer, counted
            // (a second driver on TCP; a pty serves one).
            if (link.first() == QLatin1String("--tcp")) {
                HostDriver stranger(plugin);
                QCOMPARE(stranger.connect(sim.connectionString(), 4), QString());
                const ExchangeRun lost = runExchanges({stranger.get()}, {true, 16}, 2);
                QCOMPARE(lost.failures, 2);
                QCOMPARE(lost.lastFailureStatus, 8);
            }
        }
        // The simulator is gone with its object.
        QVERIFY(::kill(pid_t(simPid), 0) != 0);
    }
}

namespace {

QList<qint64> childrenOf(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    QList<qint64> children;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &word : file.readAll().simplified().split(' '))
            if (!word.isEmpty())
                children.append(word.toLongLong());
    }
    return children;
}

// Gone, or a zombie waiting for whoever adopted it.
bool hasEnded(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray text = stat.readAll();
    return text.mid(text.lastIndexOf(')') + 2, 1) == "Z";
}

} // namespace

// A benchmark killed half way (Ctrl-C on a long run) must not leave its
// simulators behind: they would hold ports and ptys and load the machine.
void TestBenchSupport::simulatorsEndWithTheBenchmark()
{
    QProcess bench;
    bench.start(QStringLiteral(NORVO_BENCH_PROGRAM), {QStringLiteral("--quick"), QStringLiteral("--only"),
                                                      QStringLiteral("scale")});
    QVERIFY(bench.waitForStarted());
    QList<qint64> sims;
    QTRY_VERIFY_WITH_TIMEOUT((sims = childrenOf(bench.processId())).size() >= 2, 20000);
    ::kill(pid_t(bench.processId()), SIGKILL);
    QVERIFY(bench.waitForFinished());
    for (qint64 sim : qAsConst(sims))
        QTRY_VERIFY_WITH_TIMEOUT(hasEnded(sim), 10000);
}

// The scale figure polls drivers in turn: each takes every n-th exchange,
// and an unanswered one is counted with its status.
void TestBenchSupport::driversTakeTurnsAndFailuresCount()
{
    SimProcess sim(QStringLiteral(NORVO_BENCH_SIM));
    HostDriver answered(plugin);
    QCOMPARE(connectToSimulator(&sim, &answered, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")}),
             QString());
    HostDriver unanswered(plugin); // a station the simulator does not serve
    QCOMPARE(unanswered.connect(sim.connectionString(), 2), QString());

    const ExchangeRun run = runExchanges({answered.get(), unanswered.get()}, {false, 16}, 6);
    QCOMPARE(run.exchanges, 6);
    QCOMPARE(run.failures, 3);
    QCOMPARE(run.lastFailureStatus, 8);
    QVERIFY(run.sleeps > 0);
    QVERIFY(run.cpuSeconds > 0);

    QCOMPARE(runExchanges({}, {false, 16}, 5).exchanges, 0);
}

void TestBenchSupport::plainSocketLoop()
{
    SimProcess sim(QStringLiteral(NORVO_BENCH_SIM));
    QVERIFY2(sim.start({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")}), qPrintable(sim.errorString()));
    const ExchangeRun run = runPlainSocketExchanges(sim.connectionString(), 4, 5);
    QCOMPARE(run.exchanges, 4);
    QCOMPARE(run.failures, 0); // the request is one the simulator answers
    QVERIFY(run.latency.p50 >= 4.5);

    SimProcess silent(QStringLiteral(NORVO_BENCH_SIM));
    QVERIFY(silent.start({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0"), QStringLiteral("--drop-every"),
                          QStringLiteral("1")}));
    QCOMPARE(runPlainSocketExchanges(silent.connectionString(), 2, 0).failures, 2);

    QCOMPARE(runPlainSocketExchanges(QStringLiteral("127.0.0.1:1"), 3, 0).exchanges, 0);
    QCOMPARE(runPlainSocketExchanges(QStringLiteral("no address"), 3, 0).exchanges, 0);
}

// The waiting figure relies on the simulator answering late, and on the
// driver taking such an answer.
void TestBenchSupport::lateAnswersAreWaitedFor()
{
    SimProcess sim(QStringLiteral(NORVO_BENCH_SIM));
    HostDriver driver(plugin);
    QCOMPARE(connectToSimulator(&sim, &driver, {QStringLiteral("--pty"), QStringLiteral("--delay"),
                                                QStringLiteral("20")}),
             QString());
    const ExchangeRun run = runExchanges({driver.get()}, {false, 16}, 3);
    QCOMPARE(run.failures, 0);
    QVERIFY(run.latency.p50 >= 20.0);
}

void TestBenchSupport::bareHostReportsEachStage()
{
    SimProcess sim(QStringLiteral(NORVO_BENCH_SIM));
    QVERIFY(sim.start({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")}));
    QProcess child;
    child.start(QStringLiteral(NORVO_BENCH_PROGRAM),
                {QStringLiteral("--footprint-child"), QStringLiteral("4"), QStringLiteral("2"),
                 sim.connectionString(), QStringLiteral(NORVO_BENCH_PLUGIN)});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    const FootprintSample sample = FootprintSample::parse(child.readAllStandardOutput());
    QVERIFY(sample.hostKiB > 0);
    QVERIFY(sample.loadedKiB > sample.hostKiB); // the plug-in brings Qt Network and SerialPort
    QVERIFY(sample.createdKiB >= sample.loadedKiB);
    QVERIFY(sample.connectedKiB >= sample.createdKiB);
    QCOMPARE(sample.fdsConnected - sample.fdsCreated, qint64(2)); // one socket per connection
    QCOMPARE(sample.failedReads, qint64(0));

    // A connection that fails is reported, not hidden.
    child.start(QStringLiteral(NORVO_BENCH_PROGRAM),
                {QStringLiteral("--footprint-child"), QStringLiteral("2"), QStringLiteral("2"),
                 QStringLiteral("127.0.0.1:1"), QStringLiteral(NORVO_BENCH_PLUGIN)});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(FootprintSample::parse(child.readAllStandardOutput()).failedReads, qint64(2));

    child.start(QStringLiteral(NORVO_BENCH_PROGRAM), {QStringLiteral("--footprint-child"), QStringLiteral("1")});
    QVERIFY(child.waitForFinished(60000));
    QVERIFY(child.exitCode() != 0);
}

void TestBenchSupport::reportTalliesTargets()
{
    Report report;
    report.target(QStringLiteral("fast"), QStringLiteral("1 ms"), true);
    report.target(QStringLiteral("small"), QStringLiteral("9 MiB"), false);
    report.problem(QStringLiteral("no simulator"));
    QCOMPARE(report.targetsMet(), 1);
    QCOMPARE(report.targetsMissed(), 1);
    QCOMPARE(report.missedTargets(), QStringList{QStringLiteral("small")});
    QCOMPARE(report.problems(), 1);
    QCOMPARE(Report::signedFixed(0.25, 2), QStringLiteral("+0.25"));
    QCOMPARE(Report::signedFixed(-0.5, 1), QStringLiteral("-0.5"));
}

namespace {

struct Run
{
    int exitCode;
    QString out;
};

Run runBench(const QStringList &arguments)
{
    QProcess bench;
    bench.start(QStringLiteral(NORVO_BENCH_PROGRAM), arguments);
    if (!bench.waitForFinished(60000) || bench.exitStatus() != QProcess::NormalExit)
        return {-1, QString()};
    return {bench.exitCode(), QString::fromUtf8(bench.readAllStandardOutput())};
}

} // namespace

void TestBenchSupport::commandLine()
{
    // Only the parts asked for run, and the summary tallies their targets.
    const Run some = runBench({QStringLiteral("--quick"), QStringLiteral("--only"),
                               QStringLiteral("memory,footprint")});
    QCOMPARE(some.exitCode, 0);
    QVERIFY(some.out.contains(QStringLiteral("== Memory over")));
    QVERIFY(some.out.contains(QStringLiteral("== Footprint")));
    QVERIFY(!some.out.contains(QStringLiteral("== Exchanges")));
    QVERIFY(!some.out.contains(QStringLiteral("== Scale")));
    QVERIFY(some.out.contains(QStringLiteral("of 2;")));

    for (const QStringList &bad : {QStringList{QStringLiteral("--only"), QStringLiteral("speed")},
                                   QStringList{QStringLiteral("--fast")},
                                   QStringList{QStringLiteral("--only")},
                                   QStringList{QStringLiteral("--exchange-loop"), QStringLiteral("udp"),
                                               QStringLiteral("0"), QStringLiteral("3")},
                                   QStringList{QStringLiteral("--exchange-loop"), QStringLiteral("tcp"),
                                               QStringLiteral("-1"), QStringLiteral("3")}})
        QCOMPARE(runBench(bad).exitCode, 2);

    for (const QString &link : {QStringLiteral("tcp"), QStringLiteral("plain")}) {
        const Run loop = runBench({QStringLiteral("--exchange-loop"), link, QStringLiteral("0"), QStringLiteral("3")});
        QCOMPARE(loop.exitCode, 0);
        QCOMPARE(loop.out, QStringLiteral("3 reads, 0 failed\n"));
    }
}

QTEST_GUILESS_MAIN(TestBenchSupport)
#include "tst_benchsupport.moc"
