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
    // A pattern in every register the labels span, so that a value cut from
    // the wrong place of a merged answer shows.
    for (int start = 0; start < 10000; start += 50) {
        QList<unsigned short> words;
        for (int i = start; i < start + 50; ++i)
            words.append(static_cast<unsigned short>(i * 40503u >> 3));
        CLabelVariable record;
        record.value = QVariant::fromValue(words);
        if (driver->WriteVariable(QStringLiteral("D%1").arg(start), DT_UInt16, record, 50).status != 0)
            return report.problem(QStringLiteral("the pattern could not be written at D%1").arg(start));
    }
    QVector<QVariant> values[2];
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
            values[merge].resize(results.size());
            for (int i = 0; i < results.size(); ++i)
                values[merge][i] = results.at(i).value.value<QVariantList>(); // comparable, whatever the list's type
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
    int differing = 0;
    for (int i = 0; i < values[0].size() && i < values[1].size(); ++i)
        differing += values[0].at(i) != values[1].at(i) || values[0].at(i).toList().isEmpty();
    if (differing > 0 || values[0].size() != items.size())
        report.problem(QStringLiteral("%1 of %2 labels read merged differ from the same labels read alone")
                           .arg(differing).arg(items.size()));
    if (merged > 0)
        report.line(QString::asprintf("  merged, the cycle takes %.1fx less time", unmerged / merged));
}
