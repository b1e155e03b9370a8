// The figures of exchanges: latency and CPU per request size over TCP and a
// pty, the driver's CPU against the plain socket loop's, and 16 stations
// polled in turn.
#include "bench.h"

#include "CDriveBaseClass.h"

namespace {

constexpr double latencyMarginMs = 1.0, cpuTargetMicros = 100.0;
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

    QVector<QStringList> rows{{"link", "exchange", "p50 ms", "p99 ms", "max ms", "p50-floor", "exch/s",
                               "CPU us/exch", "failed"}};
    double tcpRead16P50 = -1, worstCpu = 0;
    QString worstCpuName;
    QStringList problems;
    for (const QString link : {"tcp", "pty"}) {
        SimProcess sim(setup.simProgram);
        const HostDriver driver = createDriver(*setup.plugin);
        const QString error = connectDriver(driver.get(), &sim, link == QLatin1String("tcp") ? tcpLink : ptyLink);
        if (!error.isEmpty()) {
            problems << link + QStringLiteral(": ") + error;
            continue;
        }
        for (const auto &[write, registers] : exchangeKinds) {
            const ExchangeRun run = runExchanges({driver.get()}, write, registers, count);
            const QString kind = QStringLiteral("%1 %2").arg(QLatin1String(write ? "write" : "read")).arg(registers);
            rows.append({link, kind, fixed(run.p50, 2), fixed(run.p99, 2), fixed(run.max, 2),
                         QString::asprintf("%+.2f", run.p50 - exchangeFloorMs), fixed(run.perSecond(), 1),
                         fixed(run.cpuMicros(), 1), QString::number(run.failures)});
            if (run.failures > 0)
                problems << QStringLiteral("%1 %2: %3 failed, last status %4")
                                .arg(link, kind).arg(run.failures).arg(run.lastFailureStatus);
            if (link == QLatin1String("tcp") && !write && registers == 16)
                tcpRead16P50 = run.p50;
            if (run.cpuMicros() > worstCpu) {
                worstCpu = run.cpuMicros();
                worstCpuName = link + QLatin1Char(' ') + kind;
            }
        }
    }
    report.table(rows);
    report.line(QStringLiteral("  load average now: %1").arg(loadAverage()));
    for (const QString &problem : qAsConst(problems))
        report.problem(problem);

    report.target(QStringLiteral("TCP read of 16 registers, p50 within %1 ms of the %2 ms floor")
                      .arg(latencyMarginMs).arg(exchangeFloorMs),
                  tcpRead16P50 < 0 ? QStringLiteral("not measured")
                                   : QStringLiteral("%1 ms (%2 ms over the floor)")
                                         .arg(fixed(tcpRead16P50, 2), QString::asprintf("%+.2f", tcpRead16P50 - exchangeFloorMs)),
                  tcpRead16P50 >= 0 && tcpRead16P50 <= exchangeFloorMs + latencyMarginMs);
    report.target(QStringLiteral("client CPU per exchange under %1 us").arg(cpuTargetMicros),
                  QStringLiteral("worst %1 us (%2)").arg(fixed(worstCpu, 1), worstCpuName),
                  !worstCpuName.isEmpty() && worstCpu < cpuTargetMicros);
}

// The same read of 16 registers over TCP from one simulator, with the same
// waits and pause, by the driver and by the plain socket loop in blocks that
// take turns.
void measureCpuRatio(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int pairs = setup.quick ? 2 : 40;
    const int block = setup.quick ? 5 : 50;
    report.title(QStringLiteral("CPU ratio: the driver against the plain socket loop, reads of 16 registers over "
                                "TCP, %1 block pairs of %2 reads").arg(pairs).arg(block));

    SimProcess sim(setup.simProgram);
    const HostDriver driver = createDriver(*setup.plugin);
    const QString error = connectDriver(driver.get(), &sim, tcpLink);
    const auto plain = plainSocketLoop(sim.connectionString());
    if (!error.isEmpty() || !plain)
        return report.problem(QStringLiteral("tcp: ") + (error.isEmpty() ? QStringLiteral("no plain socket") : error));

    // Side 0 is the driver, side 1 the plain loop. One unmeasured block of
    // each to warm up, then the pairs; which side goes first swaps from pair
    // to pair, so that neither always runs just after a long sleep or just
    // after the other's work.
    std::vector<double> cpu[2], p50[2];
    int failures[2] = {};
    const auto runBlock = [&](int side) {
        return side == 0 ? runExchanges({driver.get()}, false, 16, block) : plain(block);
    };
    runBlock(0);
    runBlock(1);
    for (int i = 0; i < 2 * pairs; ++i) {
        const int side = (i + i / 2) % 2; // 0 1, 1 0, 0 1, ...
        const ExchangeRun run = runBlock(side);
        cpu[side].push_back(run.cpuMicros());
        p50[side].push_back(run.p50);
        failures[side] += run.failures;
    }
    for (const int side : {0, 1}) {
        if (failures[side] > 0)
            report.problem(QStringLiteral("%1: %2 of %3 reads failed")
                               .arg(side == 0 ? "driver" : "plain socket").arg(failures[side]).arg(pairs * block));
    }

    const CpuComparison ratio = CpuComparison::of(cpu[0], cpu[1]);
    report.line(QStringLiteral("  CPU per exchange, driver / plain socket: %1x (%2 us / %3 us)")
                    .arg(fixed(ratio.ratio, 2), fixed(ratio.driverMicros, 0), fixed(ratio.plainMicros, 0)));
    report.line(QStringLiteral("  the ratio is the median over %1 pairs of blocks run side by side (pair ratios "
                               "%2x to %3x); the us are the blocks' medians of the host's CPU")
                    .arg(ratio.pairs).arg(fixed(ratio.lowestRatio, 2), fixed(ratio.highestRatio, 2)));
    report.line(QStringLiteral("  p50 latency: driver %1 ms, plain socket %2 ms")
                    .arg(fixed(median(p50[0]), 2), fixed(median(p50[1]), 2)));
    report.target(QStringLiteral("CPU per exchange at most %1x the plain socket loop's (goal %2x)")
                      .arg(ratioBar).arg(ratioGoal),
                  ratio.pairs > 0 ? fixed(ratio.ratio, 2) + QLatin1Char('x') : QStringLiteral("not measured"),
                  ratio.pairs > 0 && ratio.ratio <= ratioBar);
}

// One host with 16 drivers on 16 simulated stations, as a panel with several
// PLCs on one screen.
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
    report.table({{"exchanges", "exch/s", "floor exch/s", "p50 ms", "p99 ms", "CPU us/exch", "CPU % of a core",
                   "failed"},
                  {QString::number(run.exchanges), fixed(run.perSecond(), 1), fixed(1000.0 / exchangeFloorMs, 0),
                   fixed(run.p50, 2), fixed(run.p99, 2), fixed(run.cpuMicros(), 1),
                   fixed(run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0, 2),
                   QString::number(run.failures)}});
    report.line(QStringLiteral("  one host thread makes one exchange at a time, so the stations share the 5 ms "
                               "floor: at most %1 exchanges/s in all").arg(1000.0 / exchangeFloorMs));
}
