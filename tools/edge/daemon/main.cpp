// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo-edge: a plant's PLCs on MQTT. A host like any panel: it loads the
// plug-in and drives each link through CDriveBaseClass alone.

#include "EdgeConfig.h"
#include "EdgeLink.h"
#include "EdgeNode.h"
#include "LinkDropWarning.h"
#include "PluginLoader.h"
#include "SignalWatch.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QLoggingCategory>

#include <csignal>
#include <cstdio>

namespace {

enum Exit { ExitStopped = 0, ExitFailed = 1, ExitUsage = 2, ExitPlugin = 3 };

void complain(const QString &message)
{
    std::fprintf(stderr, "norvo-edge: %s\n", qPrintable(message));
}

// The driver's account of each link goes into that link's counters. It
// warns of every dropped TCP link; the link's own counters and status
// topic tell it once.
void takeMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (qstrcmp(context.category, "norvo.link") == 0) {
        EdgeLink::account(message);
        return;
    }
    if (isLinkDropWarning(type, message))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

} // namespace

// Each link thread waits in its own event loop, all day: the cheaper each
// wake-up, the more links a core serves. Both are set only when unset.
void setCheapWakeUps()
{
    // Qt's own event dispatcher, lighter than GLib's.
    if (!qEnvironmentVariableIsSet("QT_NO_GLIB"))
        qputenv("QT_NO_GLIB", "1");
    // With TZ unset, every local time the driver stamps makes the C library
    // look at /etc/localtime again.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

int main(int argc, char *argv[])
{
    setCheapWakeUps();
    QCoreApplication app(argc, argv);
    const ParsedEdgeConfig parsed = parseEdgeArguments(app.arguments().mid(1));
    if (parsed.config.help) {
        std::fputs(qPrintable(edgeHelpText()), stdout);
        return ExitStopped;
    }
    if (!parsed.error.isEmpty()) {
        complain(parsed.error);
        return ExitUsage;
    }
    PluginLoader loader;
    if (!loader.load(parsed.config.pluginPath, QCoreApplication::applicationDirPath())) {
        complain(loader.errorString());
        return ExitPlugin;
    }
    SignalWatch signalWatch;
    if (!signalWatch.watch({SIGINT, SIGTERM, SIGHUP})) {
        complain(QStringLiteral("cannot watch for signals"));
        return ExitFailed;
    }
    qInstallMessageHandler(takeMessage);
    QLoggingCategory::setFilterRules(QStringLiteral("norvo.link.debug=true"));

    EdgeNode node(parsed.config, loader);
    QString error;
    if (!node.start(&error)) {
        complain(error);
        return ExitFailed;
    }
    std::fprintf(stderr, "norvo-edge: node %s, %d links, broker %s:%d\n", qPrintable(parsed.config.node),
                 int(parsed.config.links.size()), qPrintable(parsed.config.broker.host), parsed.config.broker.port);

    QObject::connect(&signalWatch, &SignalWatch::received, &app, [&](int number) {
        if (number == SIGHUP) {
            const QString refused = node.reloadTags();
            complain(refused.isEmpty() ? QStringLiteral("tag files read again")
                                       : QStringLiteral("tag files unchanged: ") + refused);
            return;
        }
        node.stop();
        app.quit();
    });
    return app.exec() == 0 ? ExitStopped : ExitFailed;
}
