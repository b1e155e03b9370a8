// SPDX-License-Identifier: LGPL-2.1-or-later
// The user-space instructions of one read of 16 registers by callgrind: unlike
// CPU time, independent of the load. Waiting that ran code (polling, spinning)
// would grow them when the answer comes 20 ms late.
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
    run.start(valgrind, {"--tool=callgrind", "--callgrind-out-file=/dev/null", setup.selfProgram, "--exchange-loop",
                         link, QString::number(delayMs), QString::number(reads)});
    if (!run.waitForFinished(600000) || run.exitStatus() != QProcess::NormalExit || run.exitCode() != 0)
        return -1;
    const QRegularExpressionMatch collected = QRegularExpression(QStringLiteral("Collected : (\\d+)"))
                                                  .match(QString::fromLocal8Bit(run.readAllStandardError()));
    return collected.hasMatch() ? collected.captured(1).toLongLong() : -1;
}

} // namespace

void measureInstructions(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int fewer = setup.quick ? 5 : 50, more = setup.quick ? 15 : 250;
    report.title(QStringLiteral("Instructions: user-space work of one read of 16 registers (callgrind, %1 minus %2 "
                                "reads)").arg(more).arg(fewer));
    const QString valgrind = QStandardPaths::findExecutable(QStringLiteral("valgrind"));
    if (valgrind.isEmpty())
        return report.line(QStringLiteral("  valgrind not found: instruction counts skipped"));
    for (const QString link : {"tcp", "pty"}) {
        // The difference of a short and a long run: start and end drop out.
        qint64 perExchange[2];
        for (const int late : {0, 1}) {
            const qint64 fewerCount = countInstructions(valgrind, setup, link, late * lateAnswerMs, fewer);
            const qint64 moreCount = countInstructions(valgrind, setup, link, late * lateAnswerMs, more);
            perExchange[late] = fewerCount < 0 || moreCount < 0 ? -1 : (moreCount - fewerCount) / (more - fewer);
        }
        const bool measured = perExchange[0] > 0 && perExchange[1] >= 0;
        const qint64 extra = perExchange[1] - perExchange[0];
        report.line(QStringLiteral("  %1: %2 instructions per exchange with the answer at once, %3 with it %4 ms late")
                        .arg(link).arg(perExchange[0]).arg(perExchange[1]).arg(lateAnswerMs));
        if (!measured)
            report.problem(link + QStringLiteral(": not measured (-1)"));
        report.target(QStringLiteral("%1: no code runs while waiting (the same work within 1% with the answer %2 ms "
                                     "late)").arg(link).arg(lateAnswerMs),
                      measured ? QStringLiteral("%1 more instructions per exchange").arg(extra) : "not measured",
                      measured && qAbs(extra) * 100 <= perExchange[0]);
    }
}

// norvo-bench --exchange-loop tcp|pty|plain DELAY_MS COUNT: reads of 16
// registers only, for callgrind or strace; "plain" is the plain socket loop.
int exchangeLoop(const QStringList &arguments, const BenchSetup &setup)
{
    const QString link = arguments.value(0);
    const int delayMs = arguments.value(1).toInt(), count = arguments.value(2).toInt();
    if (!QRegularExpression(QStringLiteral("^(tcp|pty|plain) \\d+ \\d+$")).match(arguments.join(' ')).hasMatch()) {
        std::fputs("usage: norvo-bench --exchange-loop tcp|pty|plain DELAY_MS COUNT\n", stderr);
        return 2;
    }
    SimProcess sim(setup.simProgram);
    const HostDriver driver = createDriver(*setup.plugin);
    const QString error = connectDriver(driver.get(), &sim, (link == QLatin1String("pty") ? ptyLink : tcpLink)
                                        + (delayMs > 0 ? QStringList{"--delay", QString::number(delayMs)} : QStringList()));
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
