// The user-space instructions of one read of 16 registers, counted by
// callgrind: unlike CPU time, the count does not depend on the machine's
// load. With the answer at once and 20 ms late: waiting that ran code
// (polling, spinning) would grow with the delay.
#include "bench.h"

#include <QtCore/QRegularExpression>
#include <QtCore/QStandardPaths>

#include <cstdio>

namespace {

constexpr int lateAnswerMs = 20;

// The instructions of a whole norvo-bench --exchange-loop run, from
// callgrind's "Collected : N" line; -1 when it failed.
qint64 countInstructions(const QString &valgrind, const BenchSetup &setup, const QString &link, int delayMs, int reads)
{
    QProcess run;
    run.start(valgrind, {QStringLiteral("--tool=callgrind"), QStringLiteral("--callgrind-out-file=/dev/null"),
                         setup.selfProgram, QStringLiteral("--exchange-loop"), link, QString::number(delayMs),
                         QString::number(reads)});
    if (!run.waitForFinished(600000) || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0) {
        run.kill();
        run.waitForFinished();
        return -1;
    }
    const QRegularExpressionMatch collected = QRegularExpression(QStringLiteral("Collected : (\\d+)"))
                                                  .match(QString::fromLocal8Bit(run.readAllStandardError()));
    return collected.hasMatch() ? collected.captured(1).toLongLong() : -1;
}

} // namespace

void measureInstructions(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int fewer = setup.quick ? 5 : 50;
    const int more = setup.quick ? 15 : 250;
    report.title(QStringLiteral("Instructions: user-space work of one read of 16 registers (callgrind, %1 minus %2 "
                                "reads)").arg(more).arg(fewer));
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (valgrind.isEmpty())
        return report.line(QStringLiteral("  valgrind not found: instruction counts skipped"));

    for (const QString link : {"tcp", "pty"}) {
        qint64 perExchange[2];
        for (const int late : {0, 1}) {
            const int delayMs = late * lateAnswerMs;
            // The difference of a short and a long run: start and end drop out.
            const qint64 counts[] = {countInstructions(valgrind, setup, link, delayMs, fewer),
                                     countInstructions(valgrind, setup, link, delayMs, more)};
            perExchange[late] = counts[0] < 0 || counts[1] < 0 ? -1 : (counts[1] - counts[0]) / (more - fewer);
            if (perExchange[late] < 0)
                report.problem(QStringLiteral("%1, answer %2 ms late: not measured").arg(link).arg(delayMs));
            else
                report.line(QStringLiteral("  %1, answer %2 ms late: %3 instructions per exchange")
                                .arg(link).arg(delayMs).arg(perExchange[late]));
        }
        const bool measured = perExchange[0] > 0 && perExchange[1] >= 0;
        const qint64 extra = perExchange[1] - perExchange[0];
        report.target(QStringLiteral("%1: no code runs while waiting (the same work within 1% with the answer %2 ms "
                                     "late)").arg(link).arg(lateAnswerMs),
                      measured ? QStringLiteral("%1 more instructions per exchange").arg(extra)
                               : QStringLiteral("not measured"),
                      measured && qAbs(extra) * 100 <= perExchange[0]);
    }
}

// norvo-bench --exchange-loop tcp|pty|plain DELAY_MS COUNT: reads of 16
// registers only, for callgrind or strace; "plain" is the plain socket loop
// over TCP, the same counts without the driver.
int exchangeLoop(const QStringList &arguments, const BenchSetup &setup)
{
    bool delayOk = false, countOk = false;
    const QString link = arguments.value(0);
    const int delayMs = arguments.value(1).toInt(&delayOk);
    const int count = arguments.value(2).toInt(&countOk);
    if (arguments.size() != 3 || !QStringList{"tcp", "pty", "plain"}.contains(link) || !delayOk || delayMs < 0
        || !countOk || count < 0) {
        std::fputs("usage: norvo-bench --exchange-loop tcp|pty|plain DELAY_MS COUNT\n", stderr);
        return 2;
    }
    QStringList simArguments = link == QLatin1String("pty") ? ptyLink : tcpLink;
    if (delayMs > 0)
        simArguments << QStringLiteral("--delay") << QString::number(delayMs);
    SimProcess sim(setup.simProgram);
    const HostDriver driver = createDriver(*setup.plugin);
    const QString error = connectDriver(driver.get(), &sim, simArguments);
    std::function<ExchangeRun(int)> reads = [&](int n) { return runExchanges({driver.get()}, false, 16, n); };
    if (link == QLatin1String("plain"))
        reads = plainSocketLoop(sim.connectionString());
    if (!error.isEmpty() || !reads) {
        std::fprintf(stderr, "norvo-bench: %s\n", error.isEmpty() ? "no plain socket" : qPrintable(error));
        return 1;
    }
    const ExchangeRun run = reads(count);
    std::printf("%d reads, %d failed\n", run.exchanges, run.failures);
    return run.failures == 0 ? 0 : 1;
}
