// The host's memory and descriptors with the plug-in loaded and with 1, 10
// and 100 drivers. Each figure comes from a fresh process: this program run
// again as a bare host (footprintChild below).
#include "benchparts.h"
#include "benchsetup.h"
#include "exchangeloop.h"
#include "footprint.h"
#include "processstats.h"
#include "report.h"
#include "simprocess.h"

#include "PluginLoader.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFileInfo>
#include <QtCore/QProcess>
#include <QtCore/QTemporaryDir>
#include <QtCore/QVector>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr double perDriverTargetKiB = 200.0;
constexpr int childTimeoutMs = 120000;

// Size of the plug-in with its symbol tables stripped, as it ships; -1 when
// strip fails.
qint64 strippedSize(const BenchSetup &setup)
{
    QTemporaryDir dir;
    const QString stripped = dir.filePath(QStringLiteral("stripped.so"));
    QProcess strip;
    strip.start(setup.stripProgram,
                {QStringLiteral("--strip-all"), QStringLiteral("-o"), stripped, setup.pluginPath});
    if (!strip.waitForFinished(30000) || strip.exitCode() != 0)
        return -1;
    return QFileInfo(stripped).size();
}

FootprintSample runChild(const BenchSetup &setup, int drivers, int connected,
                         const QString &connection, QString *error)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(setup.selfProgram,
                {QStringLiteral("--footprint-child"), QString::number(drivers),
                 QString::number(connected), connection, setup.pluginPath});
    if (!child.waitForFinished(childTimeoutMs) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        *error = QStringLiteral("the bare host with %1 drivers failed").arg(drivers);
        child.kill();
        child.waitForFinished();
        return FootprintSample();
    }
    return FootprintSample::parse(child.readAllStandardOutput());
}

struct Run
{
    int drivers;
    int connected;
    const char *link;
};

QStringList row(const Run &run, const FootprintSample &s)
{
    return {QString::number(run.drivers),
            QStringLiteral("%1 %2").arg(run.connected).arg(QLatin1String(run.link)),
            QString::number(s.hostKiB),
            QString::number(s.loadedKiB - s.hostKiB),
            QString::number(s.createdKiB - s.loadedKiB),
            QString::number(s.connectedKiB - s.createdKiB),
            QString::number(s.connectedKiB),
            Report::fixed(double(s.createdKiB - s.loadedKiB) / run.drivers, 1),
            Report::fixed(double(s.connectedKiB - s.createdKiB) / run.connected, 1),
            Report::fixed(double(s.fdsConnected - s.fdsCreated) / run.connected, 1)};
}

} // namespace

void measureFootprint(const BenchSetup &setup)
{
    Report &report = *setup.report;
    report.title(QStringLiteral("Footprint: fresh host processes, RSS in KiB"));

    report.line(QStringLiteral("  library: %1 bytes stripped (%2 bytes as built)")
                    .arg(strippedSize(setup))
                    .arg(QFileInfo(setup.pluginPath).size()));

    SimProcess tcpSim(setup.simProgram);
    SimProcess ptySim(setup.simProgram);
    const QString perDriverTarget =
        QStringLiteral("under %1 KiB RSS per additional driver").arg(perDriverTargetKiB);
    if (!tcpSim.start({QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")})
        || !ptySim.start({QStringLiteral("--pty")})) {
        report.problem(QStringLiteral("the simulators did not start: %1 %2")
                        .arg(tcpSim.errorString(), ptySim.errorString()));
        report.target(perDriverTarget, QStringLiteral("not measured"), false);
        return;
    }

    // A quarter of the drivers connected (at least one), each read from
    // once; a pty serves one driver.
    const Run runs[] = {{1, 1, "tcp"}, {10, 3, "tcp"}, {100, 25, "tcp"}, {1, 1, "pty"}};
    QVector<QStringList> rows{{QStringLiteral("drivers"), QStringLiteral("connected"),
                               QStringLiteral("host"), QStringLiteral("+library"),
                               QStringLiteral("+drivers"), QStringLiteral("+connect&read"),
                               QStringLiteral("total"), QStringLiteral("per driver"),
                               QStringLiteral("per connection"), QStringLiteral("fds/connection")}};
    QVector<FootprintSample> samples;
    QStringList problems;
    for (const Run &run : runs) {
        const SimProcess &sim = QLatin1String(run.link) == QLatin1String("pty") ? ptySim : tcpSim;
        QString error;
        const FootprintSample sample =
            runChild(setup, run.drivers, run.connected, sim.connectionString(), &error);
        samples.append(sample);
        if (error.isEmpty() && sample.failedReads != 0)
            error = QStringLiteral("%1 of %2 connected drivers failed to read")
                        .arg(sample.failedReads).arg(run.connected);
        if (!error.isEmpty())
            problems << error;
        else
            rows.append(row(run, sample));
    }
    report.table(rows);
    for (const QString &problem : qAsConst(problems))
        report.problem(problem);

    report.line(QStringLiteral("  host process with the library loaded: %1 KiB (the bare Qt host: %2 KiB)")
                    .arg(samples.at(0).loadedKiB)
                    .arg(samples.at(0).hostKiB));

    // One more driver as a host sees it: the growth from 10 to 100 drivers
    // (a quarter of them connected) per added driver, and a connected driver
    // on its own.
    const FootprintSample &ten = samples.at(1);
    const FootprintSample &hundred = samples.at(2);
    const bool measured = problems.isEmpty();
    const double marginal = double(hundred.connectedKiB - ten.connectedKiB) / 90.0;
    const double connectedDriver = double(hundred.createdKiB - hundred.loadedKiB) / 100.0
        + double(hundred.connectedKiB - hundred.createdKiB) / 25.0;
    report.target(perDriverTarget,
                  measured ? QStringLiteral("%1 KiB per driver from 10 to 100 drivers; %2 KiB for a connected one")
                                 .arg(Report::fixed(marginal, 1), Report::fixed(connectedDriver, 1))
                           : QStringLiteral("not measured"),
                  measured && marginal < perDriverTargetKiB && connectedDriver < perDriverTargetKiB);
}

// --- the child: a bare host ---------------------------------------------------

int footprintChild(const QStringList &arguments)
{
    // DRIVERS CONNECTED CONNECTION PLUGIN
    if (arguments.size() != 4)
        return 2;
    const int driverCount = arguments.at(0).toInt();
    const int connectedCount = qMin(arguments.at(1).toInt(), driverCount);
    FootprintSample sample;
    sample.hostKiB = ProcessStats::residentKiB();

    PluginLoader plugin;
    if (!plugin.load(arguments.at(3), QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "norvo-bench: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    sample.loadedKiB = ProcessStats::residentKiB();

    std::vector<std::unique_ptr<HostDriver>> drivers;
    for (int i = 0; i < driverCount; ++i)
        drivers.push_back(std::make_unique<HostDriver>(plugin));
    sample.createdKiB = ProcessStats::residentKiB();
    sample.fdsCreated = ProcessStats::openFds();

    for (int i = 0; i < connectedCount; ++i) {
        HostDriver &driver = *drivers[std::size_t(i)];
        if (!driver.connect(arguments.at(2)).isEmpty()
            || runExchanges({driver.get()}, {false, 16}, 1).failures != 0)
            ++sample.failedReads;
    }
    sample.connectedKiB = ProcessStats::residentKiB();
    sample.fdsConnected = ProcessStats::openFds();

    std::fputs(sample.toText().constData(), stdout);
    return 0;
}
