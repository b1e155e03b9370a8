// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo: a host for the driver plug-in on the command line.

#include "FrameTrace.h"
#include "HelpText.h"
#include "Invocation.h"
#include "LinkDropWarning.h"
#include "Output.h"
#include "PluginLoader.h"
#include "Session.h"
#include "WireCapture.h"

#include "CDriveBaseClass.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLoggingCategory>
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

// The driver's messages. Its request and answer lines and the link's
// account of frames (category norvo.link) always go to the frame trace: the
// account names the causes of failures. People see them raw with --debug,
// decoded with --trace. Its warning about a dropped TCP link is shown only
// with --debug: norvo reports lost links itself.
QtMessageHandler qtHandler = nullptr;
FrameTrace frameTrace;
WireCapture wireCapture; // --pcap: the driver's account of the wire (norvo.wire)
bool showRaw = false;
bool showDecoded = false;

void filterMessages(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (WireCapture::isWireAccount(context.category)) {
        wireCapture.take(message);
        if (showRaw)
            qtHandler(type, context, message);
        return;
    }
    const bool linkAccount = FrameTrace::isLinkAccount(context.category);
    if (linkAccount || FrameTrace::isFrameLine(message)) {
        const QDateTime now = QDateTime::currentDateTime();
        const QString decoded = linkAccount ? frameTrace.takeLinkLine(message, now)
                                            : frameTrace.take(message, now);
        if (showDecoded && !decoded.isEmpty())
            std::fprintf(stderr, "trace %s\n", qPrintable(decoded));
        if (showRaw)
            qtHandler(type, context, message);
        return;
    }
    if (isLinkDropWarning(type, message) && !showRaw)
        return;
    qtHandler(type, context, message);
}

// Switches the link's account on, and with --pcap its account of the
// wire. Qt applies QT_LOGGING_RULES after the rules a program sets, so the
// user's rules are taken into ours, before them, where they keep their
// order among themselves but cannot switch the accounts off. Runs before
// anything logs.
void enableLinkAccount(bool wire)
{
    QByteArray userRules = qgetenv("QT_LOGGING_RULES");
    qunsetenv("QT_LOGGING_RULES");
    userRules.replace(';', '\n');
    QString rules = QString::fromLocal8Bit(userRules) + QLatin1Char('\n') + FrameTrace::linkAccountRule();
    if (wire)
        rules += QLatin1Char('\n') + WireCapture::wireAccountRule();
    QLoggingCategory::setFilterRules(rules);
}

int showVersion(PluginLoader &loader, const QString &pluginPath, Output &output, bool json)
{
    const QString tool = QStringLiteral(NORVO_TOOL_VERSION);
    if (!loader.load(pluginPath, QCoreApplication::applicationDirPath())) {
        QJsonObject extra;
        extra.insert(QStringLiteral("norvo"), tool);
        output.out() << (json ? QString() : QStringLiteral("norvo %1\n").arg(tool)) << Qt::flush;
        output.error(loader.errorString(), ExitPlugin, extra);
        return ExitPlugin;
    }
    CDriveBaseClass *driver = loader.createDriver();
    QJsonObject object;
    object.insert(QStringLiteral("norvo"), tool);
    object.insert(QStringLiteral("plugin"), loader.fileName());
    if (driver) {
        object.insert(QStringLiteral("plugin_version"), driver->getversion_number());
        object.insert(QStringLiteral("plugin_build"), driver->DebugCmd(EDebugBuildInfo));
    }
    output.data(QStringLiteral("norvo %1\nplug-in %2: %3 (build %4)")
                    .arg(tool, loader.fileName(), object.value(QStringLiteral("plugin_version")).toString(),
                         object.value(QStringLiteral("plugin_build")).toString()),
                object);
    if (driver) {
        driver->DestroyFree();
        PluginLoader::destroyDriver(driver);
    }
    return ExitOk;
}

} // namespace

int main(int argc, char *argv[])
{
    // Read before anything logs: --pcap switches the driver's account of
    // the wire on. A refused line is told in JSON too when --json is on it.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const ParsedArguments parsed = parseArguments(arguments);
    const Invocation &invocation = parsed.invocation;
    enableLinkAccount(!invocation.pcapPath.isEmpty());
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    Output output(invocation.format, out, err);
    if (!parsed.error.isEmpty()) {
        output.error(parsed.error, ExitUsage);
        return ExitUsage;
    }
    if (invocation.help) {
        out << helpText(invocation.command) << Qt::flush;
        return ExitOk;
    }
    QString captureError;
    if (!invocation.pcapPath.isEmpty()
        && !wireCapture.open(invocation.pcapPath,
                             invocation.serial() ? CaptureFile::Link::Serial : CaptureFile::Link::Tcp,
                             &captureError)) {
        output.error(captureError, ExitUsage);
        return ExitUsage;
    }

    PluginLoader loader;
    if (invocation.version)
        return showVersion(loader, invocation.pluginPath, output, invocation.json());
    if (!loader.load(invocation.pluginPath, QCoreApplication::applicationDirPath())) {
        output.error(loader.errorString(), ExitPlugin);
        return ExitPlugin;
    }
    CDriveBaseClass *driver = loader.createDriver();
    if (!driver) {
        output.error(QStringLiteral("the plug-in's getSharedLibrary gave no driver"), ExitPlugin);
        return ExitPlugin;
    }

    showRaw = invocation.debug;
    showDecoded = invocation.trace;
    qtHandler = qInstallMessageHandler(filterMessages);
    catchStopSignals();
    const int exitCode = Session(driver, frameTrace, output).run(invocation, loader.fileName(),
                                                                 &stopRequested);

    driver->DisConnectDrive();
    driver->DestroyFree();
    PluginLoader::destroyDriver(driver);
    return exitCode;
}
