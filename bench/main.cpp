// norvo-bench: what the driver costs a host. Loads the plug-in with dlopen
// as the panel runtime does, runs it against norvo-sim processes, and prints
// each figure beside its floor or target.
//
//   norvo-bench [--quick] [--only exchanges,ratio,waiting,memory,footprint,scale]
//
// Exit status 0 when every figure could be measured (targets missed or not),
// 1 when something kept a figure from being measured, 2 for a bad command line.

#include "benchparts.h"
#include "benchsetup.h"
#include "footprint.h"
#include "processstats.h"
#include "report.h"

#include "PluginLoader.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QThread>

#include <cstdio>
#include <functional>

namespace {

struct Part
{
    const char *name;
    std::function<void(const BenchSetup &)> measure;
};

const Part parts[] = {
    {"exchanges", measureExchanges}, {"ratio", measureCpuRatio}, {"waiting", measureWaiting},
    {"memory", measureMemoryOverTime}, {"footprint", measureFootprint},
    {"scale", measureScale},
};

QtMessageHandler defaultHandler = nullptr;

// The driver warns of every TCP drop, also of those the benchmark causes when
// it tears its drivers down; a drop during a run shows as failed exchanges.
void withoutDropWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("lib[Norvo]"))
        && message.contains(QLatin1String(" Disconnected=")))
        return;
    defaultHandler(type, context, message);
}

int usage()
{
    std::fputs("usage: norvo-bench [--quick] [--only exchanges,ratio,waiting,memory,footprint,scale]\n",
               stderr);
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    defaultHandler = qInstallMessageHandler(withoutDropWarnings);
    QStringList arguments = app.arguments().mid(1);
    if (arguments.value(0) == QLatin1String("--footprint-child"))
        return footprintChild(arguments.mid(1));
    if (arguments.value(0) == QLatin1String("--exchange-loop"))
        return countedExchangeLoop(arguments.mid(1), QStringLiteral(NORVO_BENCH_SIM),
                                   QStringLiteral(NORVO_BENCH_PLUGIN));

    BenchSetup setup;
    QStringList only;
    for (int i = 0; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--quick"))
            setup.quick = true;
        else if (arguments[i] == QLatin1String("--only") && i + 1 < arguments.size())
            only = arguments[++i].split(QLatin1Char(','));
        else
            return usage();
    }
    for (const QString &name : qAsConst(only)) {
        if (std::none_of(std::begin(parts), std::end(parts),
                         [&](const Part &part) { return name == QLatin1String(part.name); }))
            return usage();
    }

    setup.pluginPath = QStringLiteral(NORVO_BENCH_PLUGIN);
    setup.simProgram = QStringLiteral(NORVO_BENCH_SIM);
    setup.stripProgram = QStringLiteral(NORVO_BENCH_STRIP);
    setup.selfProgram = QCoreApplication::applicationFilePath();
    PluginLoader plugin;
    if (!plugin.load(setup.pluginPath, QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "norvo-bench: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    setup.plugin = &plugin;
    Report report;
    setup.report = &report;

    report.line(QStringLiteral("norvo-bench%1: %2, %3 CPUs, load average %4 at the start, Qt %5")
                    .arg(setup.quick ? QStringLiteral(" (quick run: figures not meaningful)") : QString(),
                         plugin.fileName())
                    .arg(QThread::idealThreadCount())
                    .arg(ProcessStats::loadAverage(), QLatin1String(qVersion())));

    for (const Part &part : parts) {
        if (only.isEmpty() || only.contains(QLatin1String(part.name)))
            part.measure(setup);
    }

    report.title(QStringLiteral("Summary"));
    report.line(QStringLiteral("  targets met: %1 of %2; load average at the end %3")
                    .arg(report.targetsMet())
                    .arg(report.targetsMet() + report.targetsMissed())
                    .arg(ProcessStats::loadAverage()));
    for (const QString &missed : report.missedTargets())
        report.line(QStringLiteral("  missed: ") + missed);
    if (report.problems() > 0)
        report.line(QStringLiteral("  %1 problems kept figures from being measured").arg(report.problems()));
    return report.problems() > 0 ? 1 : 0;
}
