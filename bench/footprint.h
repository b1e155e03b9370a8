#ifndef NORVO_BENCH_FOOTPRINT_H
#define NORVO_BENCH_FOOTPRINT_H

#include <QtCore/QByteArray>
#include <QtCore/QStringList>

// What a bare host process measured at each stage, as it reports it to the
// benchmark ("hostKiB 8123" lines).
struct FootprintSample
{
    qint64 hostKiB = -1;      // Qt's core application alone
    qint64 loadedKiB = -1;    // with the plug-in loaded
    qint64 createdKiB = -1;   // with the drivers created
    qint64 connectedKiB = -1; // with some of them connected and read from once
    qint64 fdsCreated = -1;
    qint64 fdsConnected = -1;
    qint64 failedReads = 0;

    QByteArray toText() const;
    // Fields missing from the text keep their defaults.
    static FootprintSample parse(const QByteArray &text);
};

// The bare host run by the footprint measurement:
// norvo-bench --footprint-child DRIVERS CONNECTED CONNECTION PLUGIN
int footprintChild(const QStringList &arguments);

#endif
