// norvo-sim: a simulated PLC on TCP, a pty or a serial line.

#include "simmemoryfile.h"
#include "simoptions.h"
#include "simserver.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QFile>
#include <QtCore/QSaveFile>
#include <QtCore/QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Signals reach the event loop through a socket pair: the handler only
// writes the signal number.
int signalPipe[2] = {-1, -1};

void onSignal(int signal)
{
    const char number = char(signal);
    const ssize_t ignored = ::write(signalPipe[1], &number, 1);
    (void)ignored;
}

bool watchSignals()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : {SIGINT, SIGTERM, SIGUSR1, SIGUSR2})
        ::sigaction(signal, &action, nullptr);
    // A script that read the first line and closed its end of stdout must
    // not turn the final dump into a kill.
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}

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
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(QString::fromUtf8(file.readAll()));
    if (!loaded.ok()) {
        complain(QStringLiteral("%1:%2: %3").arg(fileName).arg(loaded.errorLine).arg(loaded.error));
        return false;
    }
    SimMemory memory;
    SimMemoryFile::apply(loaded.assignments, &memory);
    plc->setMemory(memory);
    return true;
}

bool dumpMemory(const QString &fileName, const SimServer &plc)
{
    const QByteArray dump = SimMemoryFile::dump(plc.memory()).toUtf8();
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

bool startLink(const SimOptions &options, SimServer *plc)
{
    switch (options.link) {
    case SimOptions::Tcp:
        return plc->startTcp(options.address, options.port);
    case SimOptions::Pty:
        return plc->startPty();
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

    SimServer plc(options.station);
    plc.setFaults(options.faults);
    if (!options.loadFile.isEmpty() && !loadMemory(options.loadFile, &plc))
        return 1;
    if (!watchSignals()) {
        complain(QStringLiteral("cannot watch signals"));
        return 1;
    }
    if (!startLink(options, &plc)) {
        complain(plc.errorString());
        return 1;
    }

    // The one line on stdout that scripts wait for.
    std::printf("%s\n", qPrintable(plc.listeningOn()));
    std::fflush(stdout);

    int exitCode = 0;
    QSocketNotifier signalNotifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [&] {
        char number = 0;
        if (::read(signalPipe[0], &number, 1) != 1)
            return;
        if (number == SIGUSR1) {
            dumpMemory(options.dumpFile, plc);
        } else if (number == SIGUSR2) {
            plc.closeConnections();
        } else {
            plc.stop();
            if (!dumpMemory(options.dumpFile, plc))
                exitCode = 1;
            app.quit();
        }
    });
    app.exec();
    return exitCode;
}
