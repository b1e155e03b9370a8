// Latency and CPU of single exchanges, per request size, over TCP loopback
// and over a pty.
#include "benchparts.h"
#include "benchsetup.h"
#include "exchangeloop.h"
#include "processstats.h"
#include "referenceloop.h"
#include "report.h"
#include "simprocess.h"

#include <QtCore/QVector>

namespace {

struct LinkUnderTest
{
    const char *name;
    QStringList simArguments;
};

const ExchangeKind exchangeKinds[] = {
    {false, 1}, {false, 16}, {false, 64}, {false, 255}, {true, 1}, {true, 16}, {true, 64},
};

constexpr double cpuTargetMicros = 100.0;

QStringList tableRow(const QString &link, const QString &exchange, const ExchangeRun &run)
{
    return {link, exchange, Report::fixed(run.latency.p50, 2), Report::fixed(run.latency.p99, 2),
            Report::fixed(run.latency.max, 2),
            Report::signedFixed(run.latency.p50 - exchangeFloorMs, 2),
            Report::fixed(run.perSecond(), 1), Report::fixed(run.cpuMicrosPerExchange(), 1),
            QString::number(run.failures)};
}
constexpr double latencyMarginMs = 1.0;

} // namespace

void measureExchanges(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int count = setup.scaled(2000);
    report.title(QStringLiteral("Exchanges: %1 of each kind, one driver, the simulator answering at once")
                     .arg(count));
    report.line(QStringLiteral("  floor: %1 ms (the pause after the first answer bytes); "
                               "an answer missing that look takes 10 ms more per look")
                    .arg(exchangeFloorMs));

    const LinkUnderTest links[] = {
        {"tcp", {QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")}},
        {"pty", {QStringLiteral("--pty")}},
    };

    QVector<QStringList> rows{{QStringLiteral("link"), QStringLiteral("exchange"),
                               QStringLiteral("p50 ms"), QStringLiteral("p99 ms"),
                               QStringLiteral("max ms"), QStringLiteral("p50-floor"),
                               QStringLiteral("exch/s"), QStringLiteral("CPU us/exch"),
                               QStringLiteral("failed")}};
    double tcpRead16P50 = -1.0;
    double worstCpu = 0.0;
    QString worstCpuName;
    int failures = 0;
    QStringList problems;

    double referenceCpu = -1.0;
    for (const LinkUnderTest &link : links) {
        SimProcess sim(setup.simProgram);
        HostDriver driver(*setup.plugin);
        QString error = connectToSimulator(&sim, &driver, link.simArguments);
        if (error.isEmpty())
            error = checkRoundTrip(driver.get());
        if (!error.isEmpty()) {
            problems << QStringLiteral("%1: %2").arg(QLatin1String(link.name), error);
            continue;
        }
        for (const ExchangeKind &kind : exchangeKinds) {
            const ExchangeRun run = runExchanges({driver.get()}, kind, count);
            const QString name = QStringLiteral("%1 %2").arg(QLatin1String(link.name), kind.name());
            rows.append(tableRow(QLatin1String(link.name), kind.name(), run));
            if (QLatin1String(link.name) == QLatin1String("tcp") && !kind.write && kind.registers == 16)
                tcpRead16P50 = run.latency.p50;
            if (run.cpuMicrosPerExchange() > worstCpu) {
                worstCpu = run.cpuMicrosPerExchange();
                worstCpuName = name;
            }
            if (run.failures > 0)
                problems << QStringLiteral("%1: %2 failed, last status %3")
                                .arg(name).arg(run.failures).arg(run.lastFailureStatus);
            failures += run.failures;
        }
        if (QLatin1String(link.name) == QLatin1String("tcp")) {
            const ExchangeRun plain = runPlainSocketExchanges(sim.connectionString(), count,
                                                              int(exchangeFloorMs));
            referenceCpu = plain.cpuMicrosPerExchange();
            rows.append(tableRow(QStringLiteral("tcp"), QStringLiteral("plain socket, read 16"), plain));
        }
    }
    report.table(rows);
    report.line(QStringLiteral("  plain socket: the same request and waits (first bytes, the %1 ms pause, "
                               "10 ms looks) without the driver or Qt, the machine's own price of the "
                               "exchange's pattern")
                    .arg(exchangeFloorMs));
    report.line(QStringLiteral("  load average now: %1").arg(ProcessStats::loadAverage()));
    for (const QString &problem : problems)
        report.problem(problem);

    report.target(QStringLiteral("TCP read of 16 registers, p50 within %1 ms of the %2 ms floor")
                      .arg(latencyMarginMs).arg(exchangeFloorMs),
                  tcpRead16P50 < 0 ? QStringLiteral("not measured")
                                   : QStringLiteral("%1 ms (%2 ms over the floor)")
                                         .arg(Report::fixed(tcpRead16P50, 2),
                                              Report::signedFixed(tcpRead16P50 - exchangeFloorMs, 2)),
                  tcpRead16P50 >= 0 && tcpRead16P50 <= exchangeFloorMs + latencyMarginMs);
    report.target(QStringLiteral("client CPU per exchange under %1 us").arg(cpuTargetMicros),
                  QStringLiteral("worst %1 us (%2); the plain socket loop: %3 us")
                      .arg(Report::fixed(worstCpu, 1), worstCpuName, Report::fixed(referenceCpu, 1)),
                  !worstCpuName.isEmpty() && worstCpu < cpuTargetMicros);
    report.target(QStringLiteral("every exchange answered and correct"),
                  QStringLiteral("%1 failed, %2 problems").arg(failures).arg(problems.size()),
                  problems.isEmpty());
}
