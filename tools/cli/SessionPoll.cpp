#include "Session.h"

#include "CDriveBaseClass.h"
#include "StatusText.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

namespace {

// Waits, serving the thread's events, until `deadlineMs` on `clock` or a
// stop; the observer's requests are served meanwhile, on this thread.
void waitUntil(const QElapsedTimer &clock, qint64 deadlineMs,
               const volatile std::sig_atomic_t *stop, PollObserver *observer)
{
    const qint64 slice = 50; // how soon a Ctrl-C (or a write from the page) is noticed
    while (!*stop && clock.elapsed() < deadlineMs) {
        if (observer)
            observer->serve();
        QEventLoop loop;
        QTimer::singleShot(int(qMin(slice, deadlineMs - clock.elapsed())), &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
}

} // namespace

// Reads every item once per cycle. A link that does not open, or is lost
// (status 9), is opened again at the start of each later cycle until
// ConnectDrive succeeds; the reads of a cycle without a link count as
// failed, each with a row. An outage is told once with its cause, then
// with a short line every so often, and its end is told too.
int Session::poll(const Invocation &invocation, const volatile std::sig_atomic_t *stop,
                  PollObserver *observer)
{
    const qint64 stillDownEveryMs = 30000;
    PollSummary summary;
    int exitCode = ExitOk;
    bool linkUp = false; // opened at the start of the first cycle
    bool everUp = false;
    bool outage = false;        // the link is lost and has not opened again
    bool causeTold = false;     // this outage's cause is told
    qint64 outageStart = 0;
    qint64 lastTold = 0;
    int attempts = 0;
    QElapsedTimer clock;
    clock.start();
    auto event = [&](const QString &name) {
        output_.event(name, invocation.connection);
        if (observer)
            observer->event(name, invocation.connection);
    };
    auto beginOutage = [&] {
        outage = true;
        causeTold = false;
        outageStart = clock.elapsed();
        attempts = 0;
        ++summary.linkLost;
        event(QStringLiteral("link lost"));
    };
    qint64 nextCycle = 0;
    for (int n = 0; !*stop && (invocation.times == 0 || n < invocation.times); ++n) {
        QString downReason;
        if (!linkUp) {
            const int result = driver_->ConnectDrive(invocation.connection);
            linkUp = result == 0;
            ++attempts;
            if (linkUp && outage) {
                outage = false;
                ++summary.linkRestored;
                event(QStringLiteral("link restored"));
                output_.note(QStringLiteral("link to %1 back after %2 s")
                                 .arg(invocation.connection)
                                 .arg((clock.elapsed() - outageStart) / 1000.0, 0, 'f', 1));
            } else if (!linkUp) {
                if (!outage)
                    beginOutage();
                if (!causeTold) {
                    // Looked into once per outage: a look at a silent host costs a second.
                    const QString cause = connectFailure(invocation.connection, result);
                    output_.note(QStringLiteral("cannot connect to %1: %2; trying again every cycle")
                                     .arg(invocation.connection, cause));
                    downReason = (everUp ? QStringLiteral("link down, opening it again failed: %1")
                                         : QStringLiteral("link not open: %1")).arg(cause);
                    causeTold = true;
                    lastTold = clock.elapsed();
                } else {
                    downReason = QStringLiteral("still down");
                    if (clock.elapsed() - lastTold >= stillDownEveryMs) {
                        output_.note(QStringLiteral("still down: %1, %2 attempts in %3 s")
                                         .arg(invocation.connection)
                                         .arg(attempts)
                                         .arg((clock.elapsed() - outageStart) / 1000));
                        lastTold = clock.elapsed();
                    }
                }
            }
            everUp = everUp || linkUp;
        }
        for (int index = 0; index < invocation.items.size(); ++index) {
            if (*stop)
                break;
            const ReadItem &item = invocation.items.at(index);
            LabelResult result;
            int itemExit = ExitFailed;
            if (linkUp) {
                result = readItem(item);
                itemExit = show(result);
            } else {
                // The outage is told above; a row per read keeps the record whole.
                result.label = item.label;
                result.type = item.type;
                result.count = item.count;
                result.status = StatusText::notConnected;
                result.reason = downReason;
                result.time = QDateTime::currentDateTime();
                output_.result(result);
            }
            if (observer)
                observer->result(index, result);
            exitCode = worseExit(exitCode, itemExit);
            if (itemExit == ExitOk)
                ++summary.good;
            else
                ++summary.failed;
            if (linkUp && result.status == StatusText::notConnected) {
                linkUp = false;
                downReason = QStringLiteral("link down since this cycle");
                beginOutage();
            }
        }
        output_.endCycle();
        if (invocation.times != 0 && n + 1 == invocation.times)
            break;
        // Keep the interval from one cycle's start to the next; a late cycle
        // moves the schedule rather than bunching the cycles that follow.
        nextCycle = qMax(nextCycle + invocation.intervalMs, clock.elapsed());
        waitUntil(clock, nextCycle, stop, observer);
    }
    summary.interrupted = *stop;

    if (invocation.json())
        output_.out() << summaryJson(summary) << Qt::endl;
    else if (invocation.format == Invocation::Csv || invocation.format == Invocation::CsvWide)
        output_.note(summaryText(summary)); // stdout stays CSV
    else
        output_.out() << summaryText(summary) << Qt::endl;
    if (summary.failed != 0)
        output_.note(QStringLiteral("%1 of %2 reads failed")
                         .arg(summary.failed)
                         .arg(summary.good + summary.failed));
    // The link never opened: nothing reached the PLC.
    return everUp ? exitCode : ExitConnection;
}
