// The library's size, and the host's memory and descriptors with the plug-in
// loaded and with 1, 10 and 100 drivers. Each figure comes from a fresh
// process: this program run again as a bare host (footprintChild below).
#include "bench.h"

#include "PluginLoader.h"

#include <QtCore/QFileInfo>
#include <QtCore/QTemporaryDir>

#include <array>
#include <cstdio>

namespace {

constexpr double perDriverTargetKiB = 200.0;

// What the bare host measures, in the order it prints them: its RSS alone,
// with the plug-in loaded, with the drivers created, with some of them
// connected and read from once; its descriptors at the last two stages; its
// failed reads. -1 where it did not get there.
enum Stage { Host, Loaded, Created, Connected, FdsCreated, FdsConnected, FailedReads, Stages };
using Footprint = std::array<qint64, Stages>;

Footprint runChild(const BenchSetup &setup, int drivers, int connected, const QString &connection)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(setup.selfProgram, {QStringLiteral("--footprint-child"), QString::number(drivers),
                                    QString::number(connected), connection});
    Footprint f;
    f.fill(-1);
    if (!child.waitForFinished(120000) || child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        return f;
    }
    const QList<QByteArray> words = child.readAllStandardOutput().simplified().split(' ');
    for (int i = 0; i < Stages && words.size() == Stages; ++i)
        f[i] = words[i].toLongLong();
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
    QVector<QStringList> rows{{"drivers", "connected", "host", "+library", "+drivers", "+connect&read", "total",
                               "per driver", "per connection", "fds/connection"}};
    QVector<Footprint> samples;
    QStringList problems;
    for (const Run &run : runs) {
        const Footprint f = runChild(setup, run.drivers, run.connected, run.sim.connectionString());
        samples.append(f);
        if (f[FailedReads] != 0)
            problems << (f[FailedReads] < 0 ? QStringLiteral("the bare host with %1 drivers failed").arg(run.drivers)
                                            : QStringLiteral("%1 of %2 connected drivers failed to read")
                                                  .arg(f[FailedReads]).arg(run.connected));
        else
            rows.append({QString::number(run.drivers), QStringLiteral("%1 %2").arg(run.connected).arg(run.link),
                         QString::number(f[Host]), QString::number(f[Loaded] - f[Host]),
                         QString::number(f[Created] - f[Loaded]), QString::number(f[Connected] - f[Created]),
                         QString::number(f[Connected]), fixed(double(f[Created] - f[Loaded]) / run.drivers, 1),
                         fixed(double(f[Connected] - f[Created]) / run.connected, 1),
                         fixed(double(f[FdsConnected] - f[FdsCreated]) / run.connected, 1)});
    }
    report.table(rows);
    for (const QString &problem : qAsConst(problems))
        report.problem(problem);

    // One more driver as a host sees it: the growth from 10 to 100 drivers (a
    // quarter of them connected) per added driver, and a connected driver alone.
    const Footprint &ten = samples[1], &hundred = samples[2];
    const double marginal = double(hundred[Connected] - ten[Connected]) / 90.0;
    const double connectedDriver =
        double(hundred[Created] - hundred[Loaded]) / 100.0 + double(hundred[Connected] - hundred[Created]) / 25.0;
    report.target(perDriverTarget,
                  problems.isEmpty() ? QStringLiteral("%1 KiB per driver from 10 to 100 drivers; %2 KiB for a "
                                                      "connected one").arg(fixed(marginal, 1), fixed(connectedDriver, 1))
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
