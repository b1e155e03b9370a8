// The driver's CPU per exchange against the plain socket loop's: the same
// read of 16 registers over TCP, the same waits and 5 ms pause, the same
// simulator, measured in turns within one run.
#include "benchparts.h"
#include "benchsetup.h"
#include "cpucomparison.h"
#include "exchangeloop.h"
#include "referenceloop.h"
#include "report.h"
#include "simprocess.h"

namespace {

constexpr double ratioBar = 1.3;
constexpr double ratioGoal = 1.1;

std::vector<double> cpuMicros(const std::vector<ExchangeRun> &runs)
{
    std::vector<double> micros;
    for (const ExchangeRun &run : runs)
        micros.push_back(run.cpuMicrosPerExchange());
    return micros;
}

// Median of the blocks' p50 latencies, ms.
double p50Of(const std::vector<ExchangeRun> &runs)
{
    std::vector<double> p50s;
    for (const ExchangeRun &run : runs)
        p50s.push_back(run.latency.p50);
    return median(p50s);
}

int failuresOf(const std::vector<ExchangeRun> &runs)
{
    int failures = 0;
    for (const ExchangeRun &run : runs)
        failures += run.failures;
    return failures;
}

} // namespace

void measureCpuRatio(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int pairs = setup.quick ? 2 : 40;
    const int block = setup.quick ? 5 : 50;
    report.title(QStringLiteral("CPU ratio: the driver against the plain socket loop, reads of 16 "
                                "registers over TCP, %1 block pairs of %2 reads")
                     .arg(pairs)
                     .arg(block));

    SimProcess sim(setup.simProgram);
    HostDriver driver(*setup.plugin);
    QString error = connectToSimulator(&sim, &driver, {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")});
    if (error.isEmpty())
        error = checkRoundTrip(driver.get());
    PlainSocketClient plain(sim.connectionString());
    if (error.isEmpty() && !plain.isConnected())
        error = QStringLiteral("the plain socket did not connect to %1").arg(sim.connectionString());
    if (!error.isEmpty()) {
        report.problem(QStringLiteral("tcp: %1").arg(error));
        return;
    }

    const AlternatingRuns runs = runAlternating(
        pairs, [&] { return runExchanges({driver.get()}, {false, 16}, block); },
        [&] { return plain.run(block, int(exchangeFloorMs)); });
    const CpuComparison cpu = CpuComparison::of(cpuMicros(runs.subject), cpuMicros(runs.reference));
    for (const auto &[name, side] : {std::make_pair("driver", &runs.subject),
                                     std::make_pair("plain socket", &runs.reference)}) {
        if (const int failures = failuresOf(*side))
            report.problem(QStringLiteral("%1: %2 of %3 reads failed")
                               .arg(QLatin1String(name)).arg(failures).arg(pairs * block));
    }

    report.line(QStringLiteral("  CPU per exchange, driver / plain socket: %1x (%2 us / %3 us)")
                    .arg(Report::fixed(cpu.ratio, 2), Report::fixed(cpu.subjectMicros, 0),
                         Report::fixed(cpu.referenceMicros, 0)));
    report.line(QStringLiteral("  the ratio is the median over %1 pairs of blocks run side by side (pair "
                               "ratios %2x to %3x); the us are the blocks' medians of the host's CPU")
                    .arg(cpu.pairs)
                    .arg(Report::fixed(cpu.lowestRatio, 2), Report::fixed(cpu.highestRatio, 2)));
    report.line(QStringLiteral("  p50 latency: driver %1 ms, plain socket %2 ms")
                    .arg(Report::fixed(p50Of(runs.subject), 2), Report::fixed(p50Of(runs.reference), 2)));
    report.target(QStringLiteral("CPU per exchange at most %1x the plain socket loop's (goal %2x)")
                      .arg(ratioBar).arg(ratioGoal),
                  cpu.pairs > 0 ? QStringLiteral("%1x").arg(Report::fixed(cpu.ratio, 2))
                                : QStringLiteral("not measured"),
                  cpu.pairs > 0 && cpu.ratio <= ratioBar);
}
