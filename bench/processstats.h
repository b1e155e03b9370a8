#ifndef NORVO_BENCH_PROCESSSTATS_H
#define NORVO_BENCH_PROCESSSTATS_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// What the kernel reports about this process: CPU time, resident memory,
// open file descriptors and the machine's load.
namespace ProcessStats {

// User plus system CPU time of the whole process so far, in seconds.
double cpuSeconds();

// Times the process went to sleep of its own accord (waits, sleeps) so far:
// a waiting loop that polls shows up here.
qint64 voluntarySwitches();

// Resident set size (VmRSS) in KiB; -1 when /proc cannot be read.
qint64 residentKiB();

// Open file descriptors of this process; -1 when /proc cannot be read.
int openFds();

// The 1-minute load average as /proc/loadavg gives it, e.g. "1.52"; empty
// when it cannot be read.
QString loadAverage();

// The value of `key` in a /proc status text ("VmRSS:\t  1234 kB" -> 1234);
// -1 when the key is missing or carries no number.
qint64 statusField(const QByteArray &statusText, const QByteArray &key);

} // namespace ProcessStats

#endif
