// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo-sim: a simulated PLC on TCP, a pty or a serial line.

#include "CaptureFile.h"
#include "simhttpserver.h"
#include "simmemoryfile.h"
#include "simoptions.h"
#include "simserver.h"
#include "SignalWatch.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QFileInfo>
#include <QtCore/QSaveFile>

#include <csignal>
#include <cstdio>

namespace {

void complain(const QString &message)
{
    std::fprintf(stderr, "norvo-sim: %s\n", qPrintable(message));
}

bool loadMemory(const QString &fileName, SimServer *plc)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        complain(QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(QString::fromUtf8(file.readAll()), plc->stations());
    if (!loaded.ok()) {
        complain(QStringLiteral("%1:%2: %3").arg(fileName).arg(loaded.errorLine).arg(loaded.error));
        return false;
    }
    plc->load(QStringLiteral("file"), fileName, loaded.assignments);
    return true;
}

bool dumpMemory(const QString &fileName, const SimServer &plc)
{
    const QByteArray dump = plc.memoryFile().toUtf8();
    if (fileName.isEmpty()) {
        std::fwrite(dump.constData(), 1, size_t(dump.size()), stdout);
        std::fflush(stdout);
        return true;
    }
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(dump) != dump.size() || !file.commit()) {
        complain(QStringLiteral("cannot write the dump to %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    return true;
}

// The dump is written beside the file and renamed over it, so its folder
// must be writable, and the file too when it exists. Checked at start: at
// shutdown the memory would be lost.
bool dumpIsWritable(const QString &fileName)
{
    const QFileInfo file(fileName);
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir() || !folder.isWritable() || (file.exists() && (!file.isFile() || !file.isWritable()))) {
        complain(QStringLiteral("cannot write the dump to %1: %2").arg(fileName,
                 folder.isDir() ? QStringLiteral("not writable") : QStringLiteral("no such folder")));
        return false;
    }
    return true;
}

// A symlink at `link` to the pty; one left by an earlier run is replaced,
// anything else at that path is not touched.
bool makePtyLink(const QString &link, const QString &pty)
{
    const QFileInfo existing(link);
    if (existing.isSymLink()) {
        QFile::remove(link);
    } else if (existing.exists()) {
        complain(QStringLiteral("--pty-link %1: there is a file that is no symlink").arg(link));
        return false;
    }
    if (!QFile::link(pty, link)) {
        complain(QStringLiteral("--pty-link %1: cannot create the symlink").arg(link));
        return false;
    }
    return true;
}

void removePtyLink(const QString &link, const QString &pty)
{
    const QFileInfo existing(link);
    if (!link.isEmpty() && existing.isSymLink() && existing.symLinkTarget() == QFileInfo(pty).absoluteFilePath())
        QFile::remove(link);
}

QString settingsText(const SimSerialSettings &settings)
{
    return QStringLiteral("%1,%2,%3,%4").arg(settings.baudRate).arg(settings.dataBits).arg(settings.stopBits)
            .arg(QLatin1Char(settings.parity));
}

bool startLink(const SimOptions &options, SimServer *plc)
{
    switch (options.link) {
    case SimOptions::Tcp:
        return options.gateway ? plc->startGateway(options.address, options.port)
                               : plc->startTcp(options.address, options.port);
    case SimOptions::Pty:
        return options.ptySettingsGiven ? plc->startPty(options.ptySettings) : plc->startPty();
    case SimOptions::Serial:
        return plc->startSerial(options.serial);
    }
    return false;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);

    const SimOptionsResult parsed = parseSimOptions(app.arguments());
    if (!parsed.error.isEmpty()) {
        complain(parsed.error);
        complain(QStringLiteral("try 'norvo-sim --help'"));
        return 2;
    }
    if (parsed.help) {
        std::fputs(qPrintable(simHelpText()), stdout);
        return 0;
    }
    const SimOptions &options = parsed.options;

    CaptureFile capture; // outlives the serving thread that writes to it
    SimServer plc(options.station);
    plc.setStations(options.stations);
    plc.setFaults(options.faults);
    plc.setGeneratorSeed(options.faults.seed);
    if (!options.loadFile.isEmpty() && !loadMemory(options.loadFile, &plc))
        return 1;
    if (!options.dumpFile.isEmpty() && !dumpIsWritable(options.dumpFile))
        return 1;
    if (options.log) {
        plc.setRequestListener([](const SimLogEntry &entry) {
            std::fprintf(stderr, "%s\n", qPrintable(entry.text()));
        });
    }
    if (!options.pcapFile.isEmpty()) {
        QString error;
        if (!capture.open(options.pcapFile, &error)) {
            complain(error);
            return 1;
        }
        const auto link = options.link == SimOptions::Tcp ? CaptureFile::Link::Tcp : CaptureFile::Link::Serial;
        plc.setCapture([&capture, link](int connection, bool fromPlc, const QByteArray &bytes) {
            capture.write(fromPlc ? CaptureFile::From::Plc : CaptureFile::From::Host, link,
                          quint16(connection), bytes);
        });
    }
    SignalWatch signalWatch;
    if (!signalWatch.watch({SIGINT, SIGTERM, SIGUSR1, SIGUSR2})) {
        complain(QStringLiteral("cannot watch signals"));
        return 1;
    }
    // A TCP port that cannot be had (in use, say) is refused like a bad
    // option: a second simulator must not seem to serve it.
    if (!startLink(options, &plc)) {
        complain(plc.errorString());
        return options.link == SimOptions::Tcp ? 2 : 1;
    }
    const QString ptyPath = plc.ptyPath();
    if (!options.ptyLink.isEmpty() && !makePtyLink(options.ptyLink, ptyPath))
        return 1;

    SimLinkInfo info;
    info.link = plc.listeningOn();
    info.ptyLink = options.ptyLink;
    info.gateway = options.gateway;
    if (options.link == SimOptions::Serial)
        info.settings = settingsText(options.serial);
    else if (options.ptySettingsGiven)
        info.settings = settingsText(options.ptySettings);
    SimHttpServer http(&plc, info);
    QString httpError;
    if (options.http && !http.start(options.httpAddress, options.httpPort, &httpError)) {
        complain(httpError);
        removePtyLink(options.ptyLink, ptyPath);
        return 2;
    }

    // The lines on stdout that scripts wait for.
    std::printf("%s\n", qPrintable(plc.listeningOn()));
    if (options.http)
        std::printf("%s\n", qPrintable(http.listeningOn()));
    std::fflush(stdout);

    int exitCode = 0;
    QObject::connect(&signalWatch, &SignalWatch::received, &app, [&](int number) {
        if (number == SIGUSR1) {
            dumpMemory(options.dumpFile, plc);
        } else if (number == SIGUSR2) {
            plc.closeConnections();
        } else {
            http.stop();
            plc.stop();
            removePtyLink(options.ptyLink, ptyPath);
            if (!dumpMemory(options.dumpFile, plc))
                exitCode = 1;
            app.quit();
        }
    });
    app.exec();
    return exitCode;
}
