// SPDX-License-Identifier: LGPL-2.1-or-later
// A poll cycle of a plant's 1000 labels through the read planner, as
// norvo-edge makes it: merged into the fewest reads, and one read a label.
#include "bench.h"

#include "CDriveBaseClass.h"
#include "MergedReader.h"
#include "planlabels.h"

#include <QtCore/QElapsedTimer>

#include <algorithm>
#include <ctime>

namespace {

double processCpuSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

} // namespace

void measureMergedCycle(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const QVector<ReadPlan::Item> items = clusteredLabels();
    report.title(QStringLiteral("Merged reads: a cycle of %1 labels (100 clusters of 10, mixed widths, across "
                                "D0 to D9999) over TCP, MergedReader through the driver").arg(items.size()));
    SimProcess sim(setup.simProgram);
    const HostDriver driver = createDriver(*setup.plugin);
    if (const QString error = connectDriver(driver.get(), &sim, tcpLink); !error.isEmpty())
        return report.problem(QStringLiteral("tcp: ") + error);
    report.line(QStringLiteral("  reads      cycles  requests/cycle  p50 cycle ms  max cycle ms  ms/request  "
                               "CPU ms/cycle  failed labels"));
    double merged = 0, unmerged = 0;
    for (const bool merge : {true, false}) {
        ReadPlan::Settings settings;
        settings.merge = merge;
        MergedReader reader(items, settings);
        if (!setup.quick)
            reader.read(*driver); // the connection and the caches warm
        const int cycles = merge ? setup.scaled(20) : (setup.quick ? 1 : 4);
        std::vector<double> times;
        int failed = 0;
        const double cpuStart = processCpuSeconds();
        for (int cycle = 0; cycle < cycles; ++cycle) {
            QElapsedTimer timer;
            timer.start();
            const QVector<MergedReader::Result> results = reader.read(*driver);
            times.push_back(double(timer.nsecsElapsed()) / 1e6);
            failed += int(std::count_if(results.begin(), results.end(), [](const auto &r) { return r.status != 0; }));
        }
        const double cpuMs = (processCpuSeconds() - cpuStart) * 1000 / cycles;
        const double p50 = median(times);
        (merge ? merged : unmerged) = p50;
        report.line(QString::asprintf("  %-10s %6d %15d %13.1f %13.1f %11.2f %13.1f %14d", merge ? "merged" : "one a label",
                                      cycles, reader.requests(), p50, *std::max_element(times.begin(), times.end()),
                                      p50 / qMax(1, reader.requests()), cpuMs, failed));
        if (failed > 0)
            report.problem(QStringLiteral("%1 label reads failed").arg(failed));
    }
    if (merged > 0)
        report.line(QString::asprintf("  merged, the cycle takes %.1fx less time", unmerged / merged));
}
