// SPDX-License-Identifier: LGPL-2.1-or-later
// The library's size, and the host's memory and descriptors with 1, 10 and 100
// drivers, each in a fresh process: this program run again as a bare host.
#include "bench.h"

#include "PluginLoader.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>

#include <array>
#include <cstdio>
#include <unistd.h>

namespace {

constexpr double perDriverTargetKiB = 200.0;

qint64 residentKiB()
{
    QFile statm(QStringLiteral("/proc/self/statm")); // its second number: resident pages, VmRSS's count
    statm.open(QIODevice::ReadOnly);
    return statm.readAll().split(' ').value(1).toLongLong() * ::sysconf(_SC_PAGESIZE) / 1024;
}

int openFds() // the listing itself holds one descriptor while it runs
{
    return QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::System).size() - 1;
}

// What the bare host prints: its RSS alone, with the plug-in, with the drivers, with some connected and read
// from once; its descriptors at the last two stages; its failed reads. -1 where it did not get there.
enum Stage { Host, Loaded, Created, Connected, FdsCreated, FdsConnected, FailedReads, Stages };
using Footprint = std::array<qint64, Stages>;

Footprint runChild(const BenchSetup &setup, int drivers, int connected, const QString &connection)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(setup.selfProgram, {"--footprint-child", QString::number(drivers), QString::number(connected), connection});
    const bool done = child.waitForFinished(120000) && child.exitStatus() == QProcess::NormalExit && !child.exitCode();
    const QList<QByteArray> words = child.readAllStandardOutput().simplified().split(' ');
    Footprint f;
    for (int i = 0; i < Stages; ++i)
        f[i] = done && words.size() == Stages ? words[i].toLongLong() : -1;
    return f;
}

} // namespace

void measureFootprint(const BenchSetup &setup)
{
    Report &report = *setup.report;
    report.title(QStringLiteral("Footprint: fresh host processes, RSS in KiB"));
    QTemporaryDir dir;
    QProcess strip; // the library as it ships
    strip.start(QStringLiteral(NORVO_BENCH_STRIP), {"--strip-all", "-o", dir.filePath("so"), setup.pluginPath});
    const bool stripped = strip.waitForFinished(30000) && strip.exitCode() == 0;
    report.line(QStringLiteral("  library: %1 bytes stripped (%2 bytes as built)")
                    .arg(stripped ? QFileInfo(dir.filePath("so")).size() : -1).arg(QFileInfo(setup.pluginPath).size()));

    const QString perDriverTarget = QStringLiteral("under %1 KiB RSS per additional driver").arg(perDriverTargetKiB);
    SimProcess tcpSim(setup.simProgram), ptySim(setup.simProgram);
    if (const QString error = tcpSim.start(tcpLink) + ptySim.start(ptyLink); !error.isEmpty()) {
        report.problem(error);
        return report.target(perDriverTarget, QStringLiteral("not measured"), false);
    }
    // A quarter of the drivers connected (at least one); a pty serves one driver.
    struct Run { int drivers, connected; const SimProcess &sim; const char *link; };
    const Run runs[] = {{1, 1, tcpSim, "tcp"}, {10, 3, tcpSim, "tcp"}, {100, 25, tcpSim, "tcp"}, {1, 1, ptySim, "pty"}};
    report.line(QStringLiteral("  drivers  connected  host  +library  +drivers  +connect&read  total  per driver  "
                               "per connection  fds/connection"));
    QList<Footprint> samples;
    QStringList problems;
    for (const Run &run : runs) {
        const Footprint f = runChild(setup, run.drivers, run.connected, run.sim.connectionString());
        samples.append(f);
        if (f[FailedReads] != 0)
            problems << (f[FailedReads] < 0 ? QStringLiteral("the bare host with %1 drivers failed").arg(run.drivers)
                                            : QStringLiteral("%1 of %2 connected drivers failed to read")
                                                  .arg(f[FailedReads]).arg(run.connected));
        else
            report.line(QString::asprintf("  %7d  %5d %s %5lld %9lld %9lld %14lld %6lld %11.1f %15.1f %15.1f",
                                          run.drivers, run.connected, run.link, f[Host], f[Loaded] - f[Host],
                                          f[Created] - f[Loaded], f[Connected] - f[Created], f[Connected],
                                          double(f[Created] - f[Loaded]) / run.drivers,
                                          double(f[Connected] - f[Created]) / run.connected,
                                          double(f[FdsConnected] - f[FdsCreated]) / run.connected));
    }
    for (const QString &problem : qAsConst(problems))
        report.problem(problem);

    // One more driver as a host sees it: the growth from 10 to 100 drivers (a
    // quarter of them connected) per added driver, and a connected driver alone.
    const Footprint &ten = samples[1], &hundred = samples[2];
    const double marginal = double(hundred[Connected] - ten[Connected]) / 90.0;
    const double connectedDriver =
        double(hundred[Created] - hundred[Loaded]) / 100.0 + double(hundred[Connected] - hundred[Created]) / 25.0;
    report.target(perDriverTarget,
                  problems.isEmpty() ? QString::asprintf("%.1f KiB per driver from 10 to 100 drivers; %.1f KiB for a "
                                                         "connected one", marginal, connectedDriver)
                                     : QStringLiteral("not measured"),
                  problems.isEmpty() && marginal < perDriverTargetKiB && connectedDriver < perDriverTargetKiB);
}

// norvo-bench --footprint-child DRIVERS CONNECTED CONNECTION: the bare host.
int footprintChild(const QStringList &arguments, const BenchSetup &setup)
{
    if (arguments.size() != 3)
        return 2;
    Footprint f;
    f[Host] = residentKiB();
    PluginLoader plugin;
    if (!plugin.load(setup.pluginPath, QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "norvo-bench: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    f[Loaded] = residentKiB();
    std::vector<HostDriver> drivers;
    for (int i = 0; i < arguments[0].toInt(); ++i)
        drivers.push_back(createDriver(plugin));
    f[Created] = residentKiB();
    f[FdsCreated] = openFds();
    f[FailedReads] = 0;
    for (int i = 0; i < qMin(arguments[1].toInt(), int(drivers.size())); ++i) {
        CDriveBaseClass *driver = drivers[std::size_t(i)].get();
        if (!connectDriver(driver, arguments[2]).isEmpty() || runExchanges({driver}, false, 16, 1).failures != 0)
            ++f[FailedReads];
    }
    f[Connected] = residentKiB();
    f[FdsConnected] = openFds();
    for (const qint64 figure : f)
        std::printf("%lld ", figure);
    std::puts("");
    return 0;
}
