// SPDX-License-Identifier: LGPL-2.1-or-later
// Exchanges: latency and CPU per request size over TCP and a pty, the driver's
// CPU against the plain socket loop's, and 16 stations polled in turn.
#include "bench.h"

#include "CDriveBaseClass.h"

namespace {

constexpr double latencyMarginMs = 1.0;
constexpr double ratioBar = 1.3, ratioGoal = 1.1;
constexpr int stations = 16;

// Read or write, and registers from D100.
const std::pair<bool, int> exchangeKinds[] = {{false, 1}, {false, 16}, {false, 64}, {false, 255},
                                              {true, 1},  {true, 16},  {true, 64}};

} // namespace

void measureExchanges(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int count = setup.scaled(2000);
    report.title(QStringLiteral("Exchanges: %1 of each kind, one driver, the simulator answering at once").arg(count));
    report.line(QStringLiteral("  floor: %1 ms (the pause after the first answer bytes); "
                               "an answer missing that look takes 10 ms more per look").arg(exchangeFloorMs));
    report.line(QStringLiteral("  link  exchange   p50 ms  p99 ms  max ms  p50-floor  exch/s  CPU us/exch  failed"));
    double tcpRead16P50 = -1;
    QStringList problems;
    for (const char *link : {"tcp", "pty"}) {
        SimProcess sim(setup.simProgram);
        const HostDriver driver = createDriver(*setup.plugin);
        if (const QString error = connectDriver(driver.get(), &sim, *link == 't' ? tcpLink : ptyLink); !error.isEmpty()) {
            problems << link + QStringLiteral(": ") + error;
            continue;
        }
        for (const auto &[write, registers] : exchangeKinds) {
            const ExchangeRun run = runExchanges({driver.get()}, write, registers, count);
            const QString name = QString::asprintf("%s %s %d", link, write ? "write" : "read", registers);
            report.line(QString::asprintf("  %-4s  %-9s %7.2f %7.2f %7.2f  %+9.2f %7.1f %12.1f %7d", link,
                                          qPrintable(name.mid(4)), run.p50, run.p99, run.max,
                                          run.p50 - exchangeFloorMs, run.perSecond(), run.cpuMicros(), run.failures));
            if (run.failures > 0)
                problems << name + QStringLiteral(": %1 failed").arg(run.failures);
            if (name == QLatin1String("tcp read 16"))
                tcpRead16P50 = run.p50;
        }
    }
    for (const QString &problem : qAsConst(problems))
        report.problem(problem);
    report.target(QStringLiteral("TCP read of 16 registers, p50 within %1 ms of the %2 ms floor")
                      .arg(latencyMarginMs).arg(exchangeFloorMs),
                  tcpRead16P50 < 0 ? QStringLiteral("not measured")
                                   : QString::asprintf("%.2f ms (%+.2f ms over the floor)", tcpRead16P50,
                                                       tcpRead16P50 - exchangeFloorMs),
                  tcpRead16P50 >= 0 && tcpRead16P50 <= exchangeFloorMs + latencyMarginMs);
}

// The same read of 16 registers over TCP from one simulator, with the same
// waits and pause, by the driver and by the plain socket loop in blocks that
// take turns.
void measureCpuRatio(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int pairs = setup.quick ? 2 : 40, block = setup.quick ? 5 : 50;
    report.title(QStringLiteral("CPU ratio: the driver against the plain socket loop, reads of 16 registers over "
                                "TCP, %1 rounds of a block of %2 reads per side").arg(pairs).arg(block));
    SimProcess sim(setup.simProgram);
    const HostDriver driver = createDriver(*setup.plugin);
    const QString error = connectDriver(driver.get(), &sim, tcpLink);
    const auto plain = plainSocketLoop(sim.connectionString());
    const auto stamped = plainSocketLoop(sim.connectionString(), true);
    if (!error.isEmpty() || !plain || !stamped)
        return report.problem(QStringLiteral("tcp: ") + (error.isEmpty() ? QStringLiteral("no plain socket") : error));

    // Sides: the driver, the plain loop, the plain loop taking the time stamp.
    // One unmeasured block of each to warm up, then rounds of one block of
    // each; the order turns, so that no side always runs just after a long
    // sleep or another side's work.
    const char *const sides[] = {"driver", "plain socket", "plain socket with time stamp"};
    std::vector<double> cpu[3], p50[3];
    int failures[3] = {};
    const auto runBlock = [&](int side) {
        return side == 0 ? runExchanges({driver.get()}, false, 16, block) : (side == 1 ? plain : stamped)(block);
    };
    for (int side = 0; side < 3; ++side)
        runBlock(side);
    for (int round = 0; round < pairs; ++round) {
        for (int k = 0; k < 3; ++k) {
            const int side = (round + k) % 3;
            const ExchangeRun run = runBlock(side);
            cpu[side].push_back(run.cpuMicros());
            p50[side].push_back(run.p50);
            failures[side] += run.failures;
        }
    }
    for (int side = 0; side < 3; ++side) {
        if (failures[side] > 0)
            report.problem(QStringLiteral("%1: %2 of %3 reads failed").arg(sides[side]).arg(failures[side]).arg(pairs * block));
    }
    const CpuComparison ratio = CpuComparison::of(cpu[0], cpu[1]);
    const CpuComparison stampedRatio = CpuComparison::of(cpu[0], cpu[2]);
    report.line(QString::asprintf("  CPU per exchange, driver / plain socket: %.2fx (%.0f us / %.0f us)", ratio.ratio,
                                  ratio.driverMicros, ratio.plainMicros));
    report.line(QString::asprintf("  the ratio is the median over %d pairs of blocks run side by side (pair ratios "
                                  "%.2fx to %.2fx); the us are the blocks' medians of the host's CPU",
                                  ratio.pairs, ratio.lowestRatio, ratio.highestRatio));
    report.line(QString::asprintf("  driver / plain socket that also takes the read's local time stamp: %.2fx "
                                  "(%.0f us / %.0f us; pair ratios %.2fx to %.2fx)", stampedRatio.ratio,
                                  stampedRatio.driverMicros, stampedRatio.plainMicros, stampedRatio.lowestRatio,
                                  stampedRatio.highestRatio));
    report.line(QString::asprintf("  p50 latency: driver %.2f ms, plain socket %.2f ms, with time stamp %.2f ms",
                                  median(p50[0]), median(p50[1]), median(p50[2])));
    report.target(QStringLiteral("CPU per exchange at most %1x the plain socket loop's (goal %2x)")
                      .arg(ratioBar).arg(ratioGoal),
                  ratio.pairs > 0 ? QString::asprintf("%.2fx", ratio.ratio) : QStringLiteral("not measured"),
                  ratio.pairs > 0 && ratio.ratio <= ratioBar);
}

// One host with 16 drivers on 16 stations, polled in turn: one exchange at a
// time, so the stations share the floor.
void measureScale(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int count = setup.scaled(2000);
    report.title(QStringLiteral("Scale: %1 drivers on %1 TCP stations, polled in turn, %2 reads of 16 registers")
                     .arg(stations).arg(count));
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<HostDriver> drivers;
    QList<CDriveBaseClass *> polled;
    for (int station = 1; station <= stations; ++station) {
        sims.push_back(std::make_unique<SimProcess>(setup.simProgram));
        drivers.push_back(createDriver(*setup.plugin));
        const QString error = connectDriver(drivers.back().get(), sims.back().get(), tcpLink, station);
        if (!error.isEmpty())
            return report.problem(QStringLiteral("station %1: %2").arg(station).arg(error));
        polled.append(drivers.back().get());
    }
    const ExchangeRun run = runExchanges(polled, false, 16, count);
    report.line(QStringLiteral("  exchanges  exch/s  floor exch/s  p50 ms  p99 ms  CPU us/exch  CPU % of a core  failed"));
    report.line(QString::asprintf("  %9d %7.1f %13.0f %7.2f %7.2f %12.1f %16.2f %7d", run.exchanges, run.perSecond(),
                                  1000.0 / exchangeFloorMs, run.p50, run.p99, run.cpuMicros(),
                                  run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0, run.failures));
}
