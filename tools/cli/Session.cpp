#include "Session.h"

#include "CDriveBaseClass.h"
#include "StatusText.h"
#include "ValueText.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>

namespace {

LabelResult resultOf(const Invocation &invocation, const CLabelVariable &record)
{
    LabelResult result;
    result.label = invocation.label;
    result.type = invocation.type;
    result.count = invocation.count;
    result.value = record.value;
    result.status = record.status;
    result.time = record.timestamp;
    return result;
}

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

Session::Session(CDriveBaseClass *driver, QTextStream &out, QTextStream &err)
    : driver_(driver), out_(out), err_(err)
{
}

int Session::run(const Invocation &invocation, const QString &pluginFile,
                 const volatile std::sig_atomic_t *stop)
{
    if (invocation.debug)
        driver_->DebugCmd(EDebugStart);
    if (!invocation.stationText.isEmpty())
        driver_->SetConnectPar(invocation.stationText);

    switch (invocation.command) {
    case Invocation::Info: return info(invocation, pluginFile);
    case Invocation::Read: return connect(invocation) ? read(invocation) : ExitConnection;
    case Invocation::Write: return connect(invocation) ? write(invocation) : ExitConnection;
    case Invocation::Poll: return connect(invocation) ? poll(invocation, stop) : ExitConnection;
    case Invocation::NoCommand: break;
    }
    return ExitUsage;
}

bool Session::connect(const Invocation &invocation)
{
    return reportConnection(invocation.connection, driver_->ConnectDrive(invocation.connection));
}

bool Session::reportConnection(const QString &connection, int result)
{
    if (result == 0)
        return true;
    err_ << "norvo: cannot connect to " << connection << ": "
         << StatusText::connectResult(result, connection) << " (" << result << ")" << Qt::endl;
    return false;
}

int Session::info(const Invocation &invocation, const QString &pluginFile)
{
    DriverInfo info;
    info.plugin = pluginFile;
    info.name = driver_->getDriveName();
    info.version = driver_->getversion_number();
    info.build = driver_->DebugCmd(EDebugBuildInfo);
    info.connection = invocation.connection;
    if (!info.connection.isEmpty())
        info.connectResult = driver_->ConnectDrive(info.connection);

    if (invocation.json)
        out_ << infoJson(info) << Qt::endl;
    else
        out_ << infoText(info) << Qt::flush;
    if (info.connection.isEmpty())
        return ExitOk;
    return reportConnection(info.connection, info.connectResult) ? ExitOk : ExitConnection;
}

LabelResult Session::readOnce(const Invocation &invocation)
{
    // Without a COUNT the host's one-element form is used.
    const CLabelVariable record =
        invocation.countGiven
            ? driver_->ReadVariable(invocation.label, invocation.type, invocation.count)
            : driver_->ReadVariable(invocation.label, invocation.type);
    return resultOf(invocation, record);
}

bool Session::show(const LabelResult &result, ResultTable *table, bool first,
                   const Invocation &invocation)
{
    if (invocation.json) {
        out_ << resultJson(result) << Qt::endl;
    } else {
        if (first)
            out_ << table->header(result) << '\n';
        out_ << table->row(result) << Qt::endl;
    }
    const QString where = result.label + QLatin1Char(' ') + ValueText::typeName(result.type);
    if (result.status != 0) {
        err_ << "norvo: " << where << ": status " << result.status << " "
             << StatusText::labelStatus(result.status) << Qt::endl;
        return false;
    }
    const QString problem = dataProblem(result);
    if (!problem.isEmpty()) {
        err_ << "norvo: " << where << ": " << problem << Qt::endl;
        return false;
    }
    return true;
}

int Session::read(const Invocation &invocation)
{
    ResultTable table;
    return show(readOnce(invocation), &table, true, invocation) ? ExitOk : ExitFailed;
}

int Session::write(const Invocation &invocation)
{
    CLabelVariable record;
    record.value = invocation.values;
    record.address = invocation.label;
    record.type = invocation.type;
    record.count = invocation.count;
    const CLabelVariable answer =
        invocation.countGiven
            ? driver_->WriteVariable(invocation.label, invocation.type, record, invocation.count)
            : driver_->WriteVariable(invocation.label, invocation.type, record);
    ResultTable table;
    return show(resultOf(invocation, answer), &table, true, invocation) ? ExitOk : ExitFailed;
}

int Session::poll(const Invocation &invocation, const volatile std::sig_atomic_t *stop)
{
    ResultTable table;
    PollSummary summary;
    QElapsedTimer clock;
    clock.start();
    qint64 nextRead = 0;
    for (int n = 0; !*stop && (invocation.times == 0 || n < invocation.times); ++n) {
        if (show(readOnce(invocation), &table, n == 0, invocation))
            ++summary.good;
        else
            ++summary.failed;
        if (invocation.times != 0 && n + 1 == invocation.times)
            break;
        // Keep the interval from one read's start to the next; a late read
        // moves the schedule rather than bunching the reads that follow.
        nextRead = qMax(nextRead + invocation.intervalMs, clock.elapsed());
        waitUntil(clock, nextRead, stop);
    }
    summary.interrupted = *stop;

    out_ << (invocation.json ? summaryJson(summary) : summaryText(summary)) << Qt::endl;
    if (summary.failed == 0)
        return ExitOk;
    err_ << "norvo: " << summary.failed << " of " << summary.good + summary.failed
         << " reads failed" << Qt::endl;
    return ExitFailed;
}
