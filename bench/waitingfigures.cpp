// Whether the driver burns CPU while it waits: the same reads with the
// simulator answering at once and 20 ms late must cost the same CPU and the
// same number of sleeps. A plain socket loop making the same waits shows
// what a longer sleep costs this machine by itself.
#include "benchparts.h"
#include "benchsetup.h"
#include "exchangeloop.h"
#include "referenceloop.h"
#include "report.h"
#include "simprocess.h"

#include <QtCore/QVector>

namespace {

constexpr int lateAnswerMs = 20;

// Noise allowance between the two CPU figures: a quarter, at least 10 us.
// Spinning through a 20 ms wait would cost about 20 000 us.
bool sameCpu(double promptMicros, double lateMicros)
{
    return lateMicros - promptMicros <= qMax(0.25 * promptMicros, 10.0);
}

struct Subject
{
    QString name;      // "tcp driver", "pty driver", "tcp plain socket"
    QStringList link;  // norvo-sim's link arguments
    bool plainSocket;
    ExchangeRun runs[2]; // answer at once, answer late
};

} // namespace

void measureWaiting(const BenchSetup &setup)
{
    Report &report = *setup.report;
    const int count = setup.scaled(300);
    report.title(QStringLiteral("Waiting: %1 reads of 16 registers, the answer at once and %2 ms late")
                     .arg(count)
                     .arg(lateAnswerMs));

    const QStringList tcp{QStringLiteral("--tcp"), QStringLiteral("127.0.0.1:0")};
    QVector<Subject> subjects{{QStringLiteral("tcp driver"), tcp, false, {}},
                              {QStringLiteral("pty driver"), {QStringLiteral("--pty")}, false, {}},
                              {QStringLiteral("tcp plain socket"), tcp, true, {}}};
    QVector<QStringList> rows{{QStringLiteral("subject"), QStringLiteral("answer delay"),
                               QStringLiteral("floor ms"), QStringLiteral("p50 ms"),
                               QStringLiteral("CPU us/exch"), QStringLiteral("sleeps/exch"),
                               QStringLiteral("failed")}};
    for (Subject &subject : subjects) {
        for (int late = 0; late < 2; ++late) {
            const int delayMs = late ? lateAnswerMs : 0;
            QStringList arguments = subject.link;
            if (delayMs > 0)
                arguments << QStringLiteral("--delay") << QString::number(delayMs);
            SimProcess sim(setup.simProgram);
            HostDriver driver(*setup.plugin);
            const QString error = connectToSimulator(&sim, &driver, arguments);
            if (!error.isEmpty()) {
                report.problem(QStringLiteral("%1: %2").arg(subject.name, error));
                continue;
            }
            const ExchangeRun run = subject.plainSocket
                ? runPlainSocketExchanges(sim.connectionString(), count, int(exchangeFloorMs))
                : runExchanges({driver.get()}, {false, 16}, count);
            if (run.failures > 0)
                report.problem(QStringLiteral("%1 at %2 ms: %3 of %4 exchanges failed")
                                   .arg(subject.name).arg(delayMs).arg(run.failures).arg(count));
            subject.runs[late] = run;
            rows.append({subject.name, QStringLiteral("%1 ms").arg(delayMs),
                         Report::fixed(exchangeFloorMs + delayMs, 0),
                         Report::fixed(run.latency.p50, 2),
                         Report::fixed(run.cpuMicrosPerExchange(), 1),
                         Report::fixed(run.sleepsPerExchange(), 2),
                         QString::number(run.failures)});
        }
    }
    report.table(rows);

    const Subject &plain = subjects.last();
    for (const Subject &subject : qAsConst(subjects)) {
        if (subject.plainSocket)
            continue;
        const ExchangeRun &prompt = subject.runs[0];
        const ExchangeRun &late = subject.runs[1];
        const bool measured = prompt.exchanges > 0 && late.exchanges > 0;
        report.target(QStringLiteral("%1: no CPU spent waiting (CPU at %2 ms within max(25%, 10 us) "
                                     "of CPU at 0 ms)")
                          .arg(subject.name)
                          .arg(lateAnswerMs),
                      measured ? QStringLiteral("%1 us vs %2 us, %3 vs %4 sleeps per exchange; "
                                                "the plain socket loop: %5 us vs %6 us")
                                     .arg(Report::fixed(late.cpuMicrosPerExchange(), 1),
                                          Report::fixed(prompt.cpuMicrosPerExchange(), 1),
                                          Report::fixed(late.sleepsPerExchange(), 2),
                                          Report::fixed(prompt.sleepsPerExchange(), 2),
                                          Report::fixed(plain.runs[1].cpuMicrosPerExchange(), 1),
                                          Report::fixed(plain.runs[0].cpuMicrosPerExchange(), 1))
                               : QStringLiteral("not measured"),
                      measured && sameCpu(prompt.cpuMicrosPerExchange(), late.cpuMicrosPerExchange()));
    }
}
