#include "Session.h"

#include "CDriveBaseClass.h"
#include "StatusText.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

namespace {

// Waits, serving the thread's events, until `deadlineMs` on `clock` or a stop.
void waitUntil(const QElapsedTimer &clock, qint64 deadlineMs,
               const volatile std::sig_atomic_t *stop)
{
    const qint64 slice = 50; // how soon a Ctrl-C is noticed
    while (!*stop && clock.elapsed() < deadlineMs) {
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
// failed, each with a row.
int Session::poll(const Invocation &invocation, const volatile std::sig_atomic_t *stop)
{
    PollSummary summary;
    int exitCode = ExitOk;
    bool linkUp = false; // opened at the start of the first cycle
    bool everUp = false;
    QString outageCause; // what norvo found the first time the link did not open
    QElapsedTimer clock;
    clock.start();
    qint64 nextCycle = 0;
    for (int n = 0; !*stop && (invocation.times == 0 || n < invocation.times); ++n) {
        QString downReason;
        if (!linkUp) {
            const int result = driver_->ConnectDrive(invocation.connection);
            linkUp = result == 0;
            if (linkUp && n > 0) {
                ++summary.linkRestored;
                output_.event(QStringLiteral("link restored"), invocation.connection);
            } else if (!linkUp) {
                // Looked into once per outage: a look at a silent host costs a second.
                if (outageCause.isEmpty())
                    outageCause = connectFailure(invocation.connection, result);
                if (n == 0) {
                    ++summary.linkLost;
                    output_.event(QStringLiteral("link lost"), invocation.connection);
                    output_.note(QStringLiteral("cannot connect to %1: %2; trying again every cycle")
                                     .arg(invocation.connection, outageCause));
                }
                downReason = (everUp ? QStringLiteral("link down, opening it again failed: %1")
                                     : QStringLiteral("link not open: %1")).arg(outageCause);
            }
            everUp = everUp || linkUp;
        }
        for (const ReadItem &item : invocation.items) {
            if (*stop)
                break;
            LabelResult result;
            if (linkUp) {
                result = readItem(item);
            } else {
                result.label = item.label;
                result.type = item.type;
                result.count = item.count;
                result.status = StatusText::notConnected;
                result.reason = downReason;
                result.time = QDateTime::currentDateTime();
            }
            const int itemExit = show(result);
            exitCode = worseExit(exitCode, itemExit);
            if (itemExit == ExitOk)
                ++summary.good;
            else
                ++summary.failed;
            if (linkUp && result.status == StatusText::notConnected) {
                linkUp = false;
                outageCause.clear();
                downReason = QStringLiteral("link down since this cycle");
                ++summary.linkLost;
                output_.event(QStringLiteral("link lost"), invocation.connection);
            }
        }
        if (invocation.times != 0 && n + 1 == invocation.times)
            break;
        // Keep the interval from one cycle's start to the next; a late cycle
        // moves the schedule rather than bunching the cycles that follow.
        nextCycle = qMax(nextCycle + invocation.intervalMs, clock.elapsed());
        waitUntil(clock, nextCycle, stop);
    }
    summary.interrupted = *stop;

    if (invocation.json())
        output_.out() << summaryJson(summary) << Qt::endl;
    else if (invocation.format == Invocation::Csv) // stdout stays CSV
        output_.note(summaryText(summary));
    else
        output_.out() << summaryText(summary) << Qt::endl;
    if (summary.failed != 0)
        output_.note(QStringLiteral("%1 of %2 reads failed")
                         .arg(summary.failed)
                         .arg(summary.good + summary.failed));
    // The link never opened: nothing reached the PLC.
    return everUp ? exitCode : ExitConnection;
}
