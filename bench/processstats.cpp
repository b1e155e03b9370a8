#include "processstats.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <sys/resource.h>
#include <time.h>

namespace ProcessStats {

namespace {

QByteArray readProcFile(const char *path)
{
    // /proc files report a size of 0: read until the end rather than by size.
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

rusage selfUsage()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage;
}

} // namespace

double cpuSeconds()
{
    // The scheduler's own count: getrusage() splits it into user and system
    // time by sampling and keeps either from going back, which blurs short runs.
    timespec cpu{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    return double(cpu.tv_sec) + double(cpu.tv_nsec) / 1e9;
}

qint64 voluntarySwitches()
{
    return selfUsage().ru_nvcsw;
}

qint64 residentKiB()
{
    return statusField(readProcFile("/proc/self/status"), "VmRSS");
}

int openFds()
{
    const QDir fds(QStringLiteral("/proc/self/fd"));
    if (!fds.exists())
        return -1;
    // The directory listing itself holds one descriptor while it runs.
    return int(fds.entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System).size()) - 1;
}

QString loadAverage()
{
    const QByteArray text = readProcFile("/proc/loadavg");
    return QString::fromLatin1(text.left(text.indexOf(' ')));
}

qint64 statusField(const QByteArray &statusText, const QByteArray &key)
{
    for (const QByteArray &line : statusText.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon <= 0 || line.left(colon) != key)
            continue;
        // "  1234 kB": the number is the first word.
        const QList<QByteArray> words = line.mid(colon + 1).simplified().split(' ');
        bool ok = false;
        const qint64 value = words.value(0).toLongLong(&ok, 10);
        return ok ? value : -1;
    }
    return -1;
}

} // namespace ProcessStats
