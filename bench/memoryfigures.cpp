// Whether the host's memory stays flat over many exchanges.
#include "benchparts.h"
#include "benchsetup.h"
#include "exchangeloop.h"
#include "processstats.h"
#include "report.h"
#include "simprocess.h"

namespace {

constexpr int steps = 10;
// A leak of 8 bytes per exchange would already add 70 KiB over the run.
constexpr qint64 flatToleranceKiB = 64;

} // namespace

void measureMemoryOverTime(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int total = setup.scaled(10000);
    const int perStep = qMax(2, total / steps);
    report.title(QStringLiteral("Memory over %1 exchanges: reads and writes of 16 registers in turn, TCP")
                     .arg(perStep * steps));

    SimProcess sim(setup.simProgram);
    HostDriver driver(*setup.plugin);
    const QString error = connectToSimulator(&sim, &driver, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")});
    if (!error.isEmpty()) {
        report.problem(error);
        report.target(QStringLiteral("memory flat over the run"), QStringLiteral("not measured"), false);
        return;
    }

    QStringList samples;
    QList<qint64> rss;
    int failures = 0;
    for (int step = 1; step <= steps; ++step) {
        failures += runExchanges({driver.get()}, {false, 16}, perStep / 2).failures;
        failures += runExchanges({driver.get()}, {true, 16}, perStep - perStep / 2).failures;
        rss.append(ProcessStats::residentKiB());
        samples << QString::number(rss.last());
    }
    report.line(QStringLiteral("  RSS KiB after each %1 exchanges: %2").arg(perStep).arg(samples.join(QLatin1Char(' '))));
    if (failures > 0)
        report.problem(QStringLiteral("%1 exchanges failed").arg(failures));

    // The first step warms the allocator up; from then on nothing may grow.
    const qint64 growth = rss.last() - rss.first();
    report.target(QStringLiteral("memory flat (growth after the first %1 exchanges at most %2 KiB)")
                      .arg(perStep).arg(flatToleranceKiB),
                  QStringLiteral("%1 KiB over %2 exchanges").arg(growth).arg(perStep * (steps - 1)),
                  failures == 0 && growth <= flatToleranceKiB);
}
