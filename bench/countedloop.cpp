// A bare run of reads for instruction counting: bench.sh runs it under
// callgrind twice with different counts, and the difference divided by the
// extra reads is the user-space work of one exchange, whatever the load.
// "plain" runs the plain socket loop instead, the driver's baseline.
#include "benchparts.h"
#include "benchsetup.h"
#include "exchangeloop.h"
#include "referenceloop.h"
#include "simprocess.h"

#include "PluginLoader.h"

#include <QtCore/QCoreApplication>

#include <cstdio>

int countedExchangeLoop(const QStringList &arguments, const QString &simProgram,
                        const QString &pluginPath)
{
    // LINK (tcp, pty or plain) DELAY_MS COUNT
    bool delayOk = false;
    bool countOk = false;
    const int delayMs = arguments.value(1).toInt(&delayOk);
    const int count = arguments.value(2).toInt(&countOk);
    const QString link = arguments.value(0);
    const bool plainSocket = link == QLatin1String("plain");
    if (arguments.size() != 3
        || (link != QLatin1String("tcp") && link != QLatin1String("pty") && !plainSocket)
        || !delayOk || delayMs < 0 || !countOk || count < 0) {
        std::fputs("usage: norvo-bench --exchange-loop tcp|pty|plain DELAY_MS COUNT\n", stderr);
        return 2;
    }

    PluginLoader plugin;
    if (!plugin.load(pluginPath, QCoreApplication::applicationDirPath())) {
        std::fprintf(stderr, "norvo-bench: %s\n", qPrintable(plugin.errorString()));
        return 1;
    }
    QStringList simArguments = link != QLatin1String("pty")
        ? QStringList{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")}
        : QStringList{QStringLiteral("--pty")};
    if (delayMs > 0)
        simArguments << QStringLiteral("--delay") << QString::number(delayMs);
    SimProcess sim(simProgram);
    HostDriver driver(plugin);
    const QString error = connectToSimulator(&sim, &driver, simArguments);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "norvo-bench: %s\n", qPrintable(error));
        return 1;
    }
    const ExchangeRun run = plainSocket
        ? runPlainSocketExchanges(sim.connectionString(), count, int(exchangeFloorMs))
        : runExchanges({driver.get()}, {false, 16}, count);
    std::printf("%d reads, %d failed\n", run.exchanges, run.failures);
    return run.failures == 0 ? 0 : 1;
}
