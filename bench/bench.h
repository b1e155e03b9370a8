// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_BENCH_BENCH_H
#define NORVO_BENCH_BENCH_H

#include <QtCore/QCoreApplication>
#include <QtCore/QProcess>

#include <functional>
#include <memory>

class CDriveBaseClass;
class PluginLoader;
// What the parts of norvo-bench share. The arithmetic and the report (figures.cpp):

// The middle value; the mean of the two middle values of an even count; 0 for none.
double median(std::vector<double> values);

// The driver's CPU per exchange against the plain socket loop's. Pair i is
// driverMicros[i] and plainMicros[i], measured side by side: its ratio is free
// of the load's drift from pair to pair, the median of the ratios of a burst
// that hit one pair. Pairs without a positive figure on both sides are left out.
struct CpuComparison
{
    int pairs = 0;
    double driverMicros = 0, plainMicros = 0; // medians of each side's blocks
    double ratio = 0, lowestRatio = 0, highestRatio = 0;
    static CpuComparison of(const std::vector<double> &driverMicros, const std::vector<double> &plainMicros);
};

struct Report // on stdout, printed as it goes
{
    void title(const QString &text);
    void line(const QString &text);
    void target(const QString &what, const QString &measured, bool isMet); // "... -> met|MISSED"
    void problem(const QString &text); // something kept a figure from being measured
    int met = 0, problems = 0;
    QStringList missed;
};

// The host's tools (benchhost.cpp). Once the first answer bytes are in, the driver sleeps 5 ms before it looks
// (and every 10 ms after): no exchange is faster.
constexpr double exchangeFloorMs = 5.0;

// A norvo-sim child (the figures are the host's alone), stopped when the object
// goes and when the benchmark dies: a Ctrl-C must not leave simulators behind.
class SimProcess : public QProcess
{
public:
    explicit SimProcess(const QString &program) : program(program) {}
    ~SimProcess() override;
    // Starts it and waits for the line saying where it serves: empty on success, else why not.
    QString start(const QStringList &arguments);
    QString connectionString() const { return connection; } // "127.0.0.1:PORT", "/dev/pts/N,115200,8,1,N"

protected:
    void setupChildProcess() override;

private:
    const QString program;
    const qint64 parentPid = QCoreApplication::applicationPid();
    QString connection;
};

const QStringList tcpLink{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")};
const QStringList ptyLink{QStringLiteral("--pty")};

// A driver from the plug-in's factory, torn down as a host does it.
using HostDriver = std::unique_ptr<CDriveBaseClass, void (*)(CDriveBaseClass *)>;
HostDriver createDriver(const PluginLoader &plugin);
// Station number, then ConnectDrive (after starting `sim`): empty on success, else why not.
QString connectDriver(CDriveBaseClass *driver, const QString &connection, int station = 1);
QString connectDriver(CDriveBaseClass *driver, SimProcess *sim, QStringList simArguments, int station = 1);

struct ExchangeRun
{
    double p50 = 0, p99 = 0, max = 0; // ms, by nearest rank
    int exchanges = 0, failures = 0;
    double wallSeconds = 0, cpuSeconds = 0; // CPU: the whole process, user and system
    double perSecond() const { return wallSeconds > 0 ? exchanges / wallSeconds : 0; }
    double cpuMicros() const { return exchanges > 0 ? cpuSeconds * 1e6 / exchanges : 0; } // per exchange
};

// Reads or writes of `registers` registers from D100, the drivers taking turns.
ExchangeRun runExchanges(const QList<CDriveBaseClass *> &drivers, bool write, int registers, int count);

// The exchange's pattern without the driver and without Qt: a plain socket
// sends the driver's read of 16 registers from D100 (station 1), waits up to
// 300 ms for the first answer bytes, sleeps the 5 ms pause, then takes the
// answer if whole, else looks again every 10 ms for up to 50 ms: what any
// driver keeping the exchange's timing costs. Runs of `count` exchanges on
// one connection to "127.0.0.1:PORT"; nothing when it cannot connect.
// `stamped` also takes the local time stamp a good read carries, which the
// host's record must have and which costs glibc a look at the time zone.
std::function<ExchangeRun(int count)> plainSocketLoop(const QString &tcpConnection, bool stamped = false);

// The parts, and what they share:
struct BenchSetup
{
    const PluginLoader *plugin = nullptr; // loaded as a host loads it
    QString pluginPath, simProgram, selfProgram; // self: run again for a fresh process's figures
    bool quick = false; // a few exchanges of each kind: checks that it all runs
    Report *report = nullptr;
    int scaled(int full) const { return quick ? qMax(1, full / 100) : full; }
};

void measureExchanges(const BenchSetup &setup);    // latency and CPU per request size
void measureCpuRatio(const BenchSetup &setup);     // the driver's CPU against the plain loop's
void measureInstructions(const BenchSetup &setup); // callgrind, with the answer prompt and late
void measureFootprint(const BenchSetup &setup);
void measureScale(const BenchSetup &setup);        // 16 stations polled in turn
void measureMergedCycle(const BenchSetup &setup);  // 1000 labels through the read planner, merged or not
// norvo-bench run again by those parts: reads for callgrind, a bare host.
int exchangeLoop(const QStringList &arguments, const BenchSetup &setup);
int footprintChild(const QStringList &arguments, const BenchSetup &setup);

#endif
