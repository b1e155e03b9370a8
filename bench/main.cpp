// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo-bench: what the driver costs a host. Loads the plug-in with dlopen as the panel runtime does, runs
// it against norvo-sim processes, and prints each figure beside its floor or target. Exit status 0 when
// every figure could be measured (targets met or not), 1 when one could not, 2 for a bad command line.
#include "bench.h"

#include "LinkDropWarning.h"
#include "PluginLoader.h"

#include <QtCore/QFile>
#include <QtCore/QThread>

#include <cstdio>

namespace {

const std::pair<const char *, void (*)(const BenchSetup &)> parts[] = {
    {"exchanges", measureExchanges}, {"ratio", measureCpuRatio}, {"instructions", measureInstructions},
    {"footprint", measureFootprint}, {"scale", measureScale}, {"merged", measureMergedCycle}};

QString loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    file.open(QIODevice::ReadOnly);
    return QString::fromLatin1(file.readAll().split(' ').value(0));
}

QtMessageHandler defaultHandler = nullptr;

// The driver warns of every TCP drop, also of those the benchmark causes when
// it tears its drivers down; a drop during a run shows as failed exchanges.
void withoutDropWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!isLinkDropWarning(type, message))
        defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    defaultHandler = qInstallMessageHandler(withoutDropWarnings);
    const QStringList arguments = app.arguments().mid(1);
    BenchSetup setup{nullptr, QStringLiteral(NORVO_BENCH_PLUGIN), QStringLiteral(NORVO_BENCH_SIM),
                     QCoreApplication::applicationFilePath()};
    if (arguments.value(0) == QLatin1String("--footprint-child")) // before the plug-in is loaded
        return footprintChild(arguments.mid(1), setup);
    const bool exchangeLoopRun = arguments.value(0) == QLatin1String("--exchange-loop");
    QStringList only;
    for (int i = 0; i < arguments.size() && !exchangeLoopRun; ++i) {
        setup.quick = setup.quick || arguments[i] == QLatin1String("--quick");
        if (arguments[i] == QLatin1String("--only") && i + 1 < arguments.size())
            only = arguments[++i].split(QLatin1Char(','));
        else if (arguments[i] != QLatin1String("--quick"))
            only = QStringList{arguments[i]}; // not a part: usage below
        if (!std::all_of(only.begin(), only.end(), [](const QString &name) {
                return std::any_of(std::begin(parts), std::end(parts), [&](auto part) { return name == part.first; });
            })) {
            std::fputs("usage: norvo-bench [--quick] [--only exchanges,ratio,instructions,footprint,scale,merged]\n", stderr);
            return 2;
        }
    }

    PluginLoader plugin;
    if (!plugin.load(setup.pluginPath, QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "norvo-bench: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    setup.plugin = &plugin;
    if (exchangeLoopRun)
        return exchangeLoop(arguments.mid(1), setup);

    Report report;
    setup.report = &report;
    report.line(QStringLiteral("norvo-bench%1: %2, %3 CPUs, load average %4 at the start, Qt %5")
                    .arg(setup.quick ? QStringLiteral(" (quick run: figures not meaningful)") : QString(),
                         plugin.fileName()).arg(QThread::idealThreadCount()).arg(loadAverage(), qVersion()));
    for (const auto &[name, measure] : parts) {
        if (only.isEmpty() || only.contains(QLatin1String(name)))
            measure(setup);
    }
    report.title(QStringLiteral("Summary"));
    report.line(QStringLiteral("  targets met: %1 of %2; load average at the end %3")
                    .arg(report.met).arg(report.met + report.missed.size()).arg(loadAverage()));
    for (const QString &missed : qAsConst(report.missed))
        report.line(QStringLiteral("  missed: ") + missed);
    if (report.problems > 0)
        report.line(QStringLiteral("  %1 problems kept figures from being measured").arg(report.problems));
    return report.problems > 0 ? 1 : 0;
}
