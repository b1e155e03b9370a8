// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Session.h"

#include "FrameTrace.h"

#include "CDriveBaseClass.h"
#include "LinkOutage.h"
#include "MergedReader.h"
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
    PollSummary summary;
    int exitCode = ExitOk;
    bool linkUp = false; // opened at the start of the first cycle
    bool everUp = false;
    LinkOutage outage;
    QElapsedTimer clock;
    clock.start();
    auto event = [&](const QString &name) {
        output_.event(name, invocation.connection);
        if (observer)
            observer->event(name, invocation.connection);
    };
    auto linkLost = [&] {
        if (!outage.begin(clock.elapsed()))
            return;
        ++summary.linkLost;
        event(QStringLiteral("link lost"));
    };
    QVector<ReadPlan::Item> planItems;
    for (const ReadItem &item : invocation.items)
        planItems.append(ReadPlan::item(item.label, item.type, item.count));
    ReadPlan::Settings planSettings;
    planSettings.merge = invocation.mergeReads;
    MergedReader reader(planItems, planSettings);
    summary.labels = invocation.items.size();
    qint64 nextCycle = 0;
    for (int n = 0; !*stop && (invocation.times == 0 || n < invocation.times); ++n) {
        QString downReason;
        if (!linkUp) {
            const int result = driver_->ConnectDrive(invocation.driverConnection(invocation.connection));
            linkUp = result == 0;
            if (linkUp && outage.isOn()) {
                const qint64 lengthMs = outage.end(clock.elapsed());
                ++summary.linkRestored;
                event(QStringLiteral("link restored"));
                output_.note(QStringLiteral("link to %1 back after %2 s")
                                 .arg(invocation.connection)
                                 .arg(lengthMs / 1000.0, 0, 'f', 1));
            } else if (!linkUp) {
                linkLost();
                if (outage.failedAttempt(clock.elapsed())) {
                    // Looked into once per outage: a look at a silent host costs a second.
                    const QString cause = connectFailure(invocation.connection, result);
                    output_.note(QStringLiteral("cannot connect to %1: %2; trying again every cycle")
                                     .arg(invocation.connection, cause));
                    downReason = (everUp ? QStringLiteral("link down, opening it again failed: %1")
                                         : QStringLiteral("link not open: %1")).arg(cause);
                } else {
                    downReason = QStringLiteral("still down");
                    const QString reminder = outage.reminderDue(clock.elapsed(), invocation.connection);
                    if (!reminder.isEmpty())
                        output_.note(reminder);
                }
            }
            everUp = everUp || linkUp;
        }
        QVector<LabelResult> cycle;
        if (linkUp) {
            cycle = readAll(reader, invocation.items);
            summary.requests = reader.requests();
        }
        for (int index = 0; index < invocation.items.size(); ++index) {
            if (*stop)
                break;
            const ReadItem &item = invocation.items.at(index);
            LabelResult result;
            int itemExit = ExitFailed;
            if (linkUp) {
                result = cycle.at(index);
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
                linkLost();
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
    summary.learntWaitMs = trace_.learntWaitMs();

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
