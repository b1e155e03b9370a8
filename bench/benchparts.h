#ifndef NORVO_BENCH_BENCHPARTS_H
#define NORVO_BENCH_BENCHPARTS_H

#include <QtCore/QStringList>

struct BenchSetup;

// The parts of the report, each measuring one thing and checking its targets.
void measureExchanges(const BenchSetup &setup);  // latency and CPU per request size
void measureCpuRatio(const BenchSetup &setup);   // the driver's CPU against a plain socket's
void measureWaiting(const BenchSetup &setup);    // CPU while the answer is late
void measureMemoryOverTime(const BenchSetup &setup);
void measureFootprint(const BenchSetup &setup);
void measureScale(const BenchSetup &setup);      // 16 stations polled in turn

// norvo-bench --exchange-loop LINK DELAY_MS COUNT: reads only, for counting
// instructions under callgrind or system calls under strace. LINK "plain"
// is the plain socket loop over TCP, for the same counts without the driver.
int countedExchangeLoop(const QStringList &arguments, const QString &simProgram,
                        const QString &pluginPath);

#endif
