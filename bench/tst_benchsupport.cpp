// SPDX-License-Identifier: LGPL-2.1-or-later
// The CPU ratio's arithmetic and norvo-bench's command line (bench_quick runs all of it).
#include "TestTable.h"
#include "bench.h"

#include <QtCore/QProcess>
#include <QtTest/QtTest>

class TestBenchSupport : public QObject
{
    Q_OBJECT

private slots:
    void cpuRatioOfPairedBlocks_data();
    void cpuRatioOfPairedBlocks();
    void commandLine();
};

void TestBenchSupport::cpuRatioOfPairedBlocks_data()
{
    using Micros = QVector<double>;
    addColumns<Micros, Micros, int, double, double, double>(
        "driver", "plain", "pairs", "ratio", "driverMedian", "plainMedian");
    // The load doubles the cost of both sides alike: the pairs keep the ratio.
    QTest::newRow("drifting load") << Micros{120, 240, 180} << Micros{100, 200, 150} << 3 << 1.2 << 180.0 << 150.0;
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
    const CpuComparison comparison = CpuComparison::of({driver.begin(), driver.end()}, {plain.begin(), plain.end()});
    QTEST(comparison.pairs, "pairs");
    QTEST(comparison.ratio, "ratio");
    QTEST(comparison.driverMicros, "driverMedian");
    QTEST(comparison.plainMicros, "plainMedian");
}

void TestBenchSupport::commandLine()
{
    QProcess bench;
    const auto run = [&](const QString &arguments) {
        bench.start(QStringLiteral(NORVO_BENCH_PROGRAM), arguments.split(QLatin1Char(' ')));
        return bench.waitForFinished(120000) && bench.exitStatus() == QProcess::NormalExit ? bench.exitCode() : -1;
    };
    for (const char *bad : {"--only speed", "--fast", "--only", "--only ratio,", "--exchange-loop udp 0 3",
                            "--exchange-loop tcp -1 3", "--exchange-loop tcp 0"})
        QCOMPARE(run(QLatin1String(bad)), 2);

    // Only the parts asked for run, and the summary tallies their targets.
    QCOMPARE(run(QStringLiteral("--quick --only footprint")), 0);
    const QString out = QString::fromUtf8(bench.readAllStandardOutput());
    QVERIFY(out.contains(QStringLiteral("== Footprint")) && !out.contains(QStringLiteral("== Exchanges")));
    QVERIFY(out.contains(QStringLiteral(" of 1;")));

    for (const char *link : {"tcp", "pty", "plain"}) {
        QCOMPARE(run(QStringLiteral("--exchange-loop %1 0 3").arg(QLatin1String(link))), 0);
        QCOMPARE(bench.readAllStandardOutput(), QByteArray("3 reads, 0 failed\n"));
    }
}

QTEST_GUILESS_MAIN(TestBenchSupport)
#include "tst_benchsupport.moc"
