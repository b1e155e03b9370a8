#ifndef NORVO_BENCH_BENCHPARTS_H
#define NORVO_BENCH_BENCHPARTS_H

#include <QtCore/QStringList>

struct BenchSetup;

// The parts of the report, each measuring one thing and checking its targets.
void measureExchanges(const BenchSetup &setup);  // latency and CPU per request size
void measureWaiting(const BenchSetup &setup);    // CPU while the answer is late
void measureMemoryOverTime(const BenchSetup &setup);
void measureFootprint(const BenchSetup &setup);
void measureScale(const BenchSetup &setup);      // 16 stations polled in turn

// norvo-bench --exchange-loop LINK DELAY_MS COUNT: reads only, for counting
// instructions under callgrind.
int countedExchangeLoop(const QStringList &arguments, const QString &simProgram,
                        const QString &pluginPath);

#endif
