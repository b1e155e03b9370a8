// One host with 16 drivers on 16 simulated stations, polling them in turn,
// as a panel does with several PLCs on one screen.
#include "benchparts.h"
#include "benchsetup.h"
#include "exchangeloop.h"
#include "report.h"
#include "simprocess.h"

#include <QtCore/QVector>

#include <memory>
#include <vector>

namespace {

constexpr int stations = 16;

} // namespace

void measureScale(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int count = setup.scaled(2000);
    report.title(QStringLiteral("Scale: %1 drivers on %1 TCP stations, polled in turn, %2 reads of 16 registers")
                     .arg(stations)
                     .arg(count));

    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<HostDriver>> drivers;
    QList<CDriveBaseClass *> polled;
    for (int station = 1; station <= stations; ++station) {
        sims.push_back(std::make_unique<SimProcess>(setup.simProgram));
        drivers.push_back(std::make_unique<HostDriver>(*setup.plugin));
        const QString error = connectToSimulator(sims.back().get(), drivers.back().get(),
                                                 {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")},
                                                 station);
        if (!error.isEmpty()) {
            report.problem(QStringLiteral("station %1: %2").arg(station).arg(error));
            return;
        }
        polled.append(drivers.back()->get());
    }

    const ExchangeRun run = runExchanges(polled, {false, 16}, count);
    report.table({{QStringLiteral("exchanges"), QStringLiteral("exch/s"),
                   QStringLiteral("floor exch/s"), QStringLiteral("p50 ms"), QStringLiteral("p99 ms"),
                   QStringLiteral("CPU us/exch"), QStringLiteral("CPU % of a core"),
                   QStringLiteral("failed")},
                  {QString::number(run.exchanges), Report::fixed(run.perSecond(), 1),
                   Report::fixed(1000.0 / exchangeFloorMs, 0), Report::fixed(run.latency.p50, 2),
                   Report::fixed(run.latency.p99, 2), Report::fixed(run.cpuMicrosPerExchange(), 1),
                   Report::fixed(run.wallSeconds > 0 ? 100.0 * run.cpuSeconds / run.wallSeconds : 0.0, 2),
                   QString::number(run.failures)}});
    report.line(QStringLiteral("  one host thread makes one exchange at a time, so the stations share "
                               "the 5 ms floor: at most %1 exchanges/s in all")
                    .arg(1000.0 / exchangeFloorMs));
}
