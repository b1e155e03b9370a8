#ifndef NORVO_BENCH_BENCHSETUP_H
#define NORVO_BENCH_BENCHSETUP_H

#include <QtCore/QString>

#include <QtCore/QStringList>

class CDriveBaseClass;
class PluginLoader;
class Report;
class SimProcess;

// What every part of the benchmark works with.
struct BenchSetup
{
    const PluginLoader *plugin = nullptr; // the driver plug-in, loaded as a host loads it
    QString pluginPath;
    QString simProgram;  // norvo-sim
    QString selfProgram; // this program, for measurements in a fresh process
    QString stripProgram;
    bool quick = false;  // a few exchanges of each kind: checks that it all runs
    Report *report = nullptr;

    // Exchange counts: the full figure, or a handful in a quick run.
    int scaled(int full) const { return quick ? qMax(1, full / 100) : full; }
};

// A driver from the plug-in's factory, torn down as a host does it:
// disconnect, DestroyFree, delete.
class HostDriver
{
public:
    explicit HostDriver(const PluginLoader &plugin);
    ~HostDriver();
    HostDriver(const HostDriver &) = delete;
    HostDriver &operator=(const HostDriver &) = delete;

    CDriveBaseClass *get() const { return driver; }
    bool isValid() const { return driver != nullptr; }

    // Station number, then ConnectDrive. Empty on success, else why not.
    QString connect(const QString &connection, int station = 1);

private:
    CDriveBaseClass *driver;
};

// Starts the simulator with `simArguments` (plus "--station N") and
// connects the driver to the link it serves. Empty on success, else why not.
QString connectToSimulator(SimProcess *sim, HostDriver *driver, QStringList simArguments,
                           int station = 1);

// The exchange's fixed pause: once the first answer bytes are in, the driver
// sleeps 5 ms before it looks; an answer not whole by then is looked at
// again every 10 ms. So 5 ms is the least an exchange can take.
constexpr double exchangeFloorMs = 5.0;

#endif
