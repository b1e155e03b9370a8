// norvo: a host for the driver plug-in on the command line.

#include "HelpText.h"
#include "Invocation.h"
#include "PluginLoader.h"
#include "Session.h"

#include "CDriveBaseClass.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTextStream>

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

// The first Ctrl-C lets a poll finish its read and report; SA_RESETHAND
// leaves a second one to end the tool at once.
void requestStop(int)
{
    stopRequested = 1;
}

void catchStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = requestStop;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The driver warns whenever its TCP link goes down, also when norvo closes
// it on the way out; that warning is news only with --debug.
bool closingQuietly = false;
QtMessageHandler qtHandler = nullptr;

void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (closingQuietly && type == QtWarningMsg)
        return;
    qtHandler(type, context, message);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);

    const ParsedArguments parsed = parseArguments(app.arguments().mid(1));
    const Invocation &invocation = parsed.invocation;
    if (!parsed.error.isEmpty()) {
        err << "norvo: " << parsed.error << Qt::endl;
        return ExitUsage;
    }
    if (invocation.help) {
        out << helpText(invocation.command) << Qt::flush;
        return ExitOk;
    }

    PluginLoader loader;
    if (!loader.load(invocation.pluginPath, QCoreApplication::applicationDirPath())) {
        err << "norvo: " << loader.errorString() << Qt::endl;
        return ExitPlugin;
    }
    CDriveBaseClass *driver = loader.createDriver();
    if (!driver) {
        err << "norvo: the plug-in's getSharedLibrary gave no driver" << Qt::endl;
        return ExitPlugin;
    }

    qtHandler = qInstallMessageHandler(filterMessages);
    catchStopSignals();
    const int exitCode = Session(driver, out, err).run(invocation, loader.fileName(),
                                                       &stopRequested);

    closingQuietly = !invocation.debug;
    driver->DisConnectDrive();
    driver->DestroyFree();
    PluginLoader::destroyDriver(driver);
    closingQuietly = false;
    return exitCode;
}
