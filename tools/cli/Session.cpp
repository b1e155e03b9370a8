// SPDX-License-Identifier: LGPL-2.1-or-later
#include "Session.h"

#include "MergedReader.h"

#include "CDriveBaseClass.h"
#include "ElementAddress.h"
#include "FrameTrace.h"
#include "LinkProbe.h"
#include "StatusText.h"
#include "ValueText.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QElapsedTimer>

#include <algorithm>

ReadItem Session::stationProbe()
{
    // One register that every PLC of this kind has; reading it changes nothing.
    return ReadItem{QStringLiteral("D0"), DT_UInt16, 1, false};
}

int worseExit(int a, int b)
{
    if (a == ExitFailed || b == ExitFailed)
        return ExitFailed;
    return qMax(a, b);
}

Session::Session(CDriveBaseClass *driver, FrameTrace &trace, Output &output)
    : driver_(driver), trace_(trace), output_(output)
{
}

int Session::run(const Invocation &invocation, const QString &pluginFile,
                 const volatile std::sig_atomic_t *stop)
{
    // Always on: the driver's request and answer lines are what the trace
    // decodes (main shows them only with --debug or --trace).
    driver_->DebugCmd(EDebugStart);
    invocation_ = &invocation;
    if (!invocation.stationText.isEmpty())
        driver_->SetConnectPar(invocation.stationText);

    switch (invocation.command) {
    case Invocation::Info: return info(invocation, pluginFile);
    case Invocation::Scan: return scan(invocation, stop);
    case Invocation::NoCommand: return ExitUsage;
    default: break;
    }
    output_.setPresentation(invocation.hex ? ValueText::Style::Hex : ValueText::Style::Plain,
                            invocation.byAddress);
    output_.expect(invocation.items);
    // A poll waits for a link that is not there yet (a PLC still starting);
    // the single-shot commands report it at once.
    if (invocation.command == Invocation::Poll)
        return poll(invocation, stop);
    if (invocation.command == Invocation::Watch)
        return watch(invocation, stop);
    if (!connect(invocation.connection))
        return ExitConnection;
    switch (invocation.command) {
    case Invocation::Read: return read(invocation);
    case Invocation::Write: return invocation.merge ? mergeBits(invocation) : write(invocation);
    default: return ExitUsage;
    }
}

QString Session::connectFailure(const QString &connection, int result) const
{
    QString text = StatusText::connectResult(result, connection);
    const QString problem = LinkProbe::problem(connection);
    if (!problem.isEmpty())
        text += QStringLiteral(": ") + problem;
    return text + QStringLiteral(" (%1)").arg(result);
}

bool Session::connect(const QString &connection)
{
    const int result = driver_->ConnectDrive(invocation_->driverConnection(connection));
    if (result == 0)
        return true;
    QJsonObject extra;
    extra.insert(QStringLiteral("connection"), connection);
    extra.insert(QStringLiteral("connect"), result);
    output_.error(QStringLiteral("cannot connect to %1: %2")
                      .arg(connection, connectFailure(connection, result)),
                  ExitConnection, extra);
    return false;
}

LabelResult Session::resultOf(const CLabelVariable &record, const QString &label, DataType type,
                              int count, int sentBefore) const
{
    LabelResult result;
    result.label = label;
    result.type = type;
    result.count = count;
    result.value = record.value;
    result.status = record.status;
    result.timeFromDriver = record.timestamp.isValid();
    result.time = result.timeFromDriver ? record.timestamp : QDateTime::currentDateTime();
    result.sent = trace_.requestsSent() != sentBefore;
    // The link's verdict on the exchange; statuses 7 to 9 follow from it.
    if (result.status >= 7 && result.status <= 9)
        result.reason = trace_.failure();
    if (result.status == 8 && result.reason.isEmpty())
        result.reason = QStringLiteral("no answer");
    if (result.status == 8 && !trace_.lateAnswer().isEmpty())
        result.reason += QStringLiteral("; ") + trace_.lateAnswer();
    return result;
}

LabelResult Session::readItem(const ReadItem &item)
{
    trace_.forget();
    const int sentBefore = trace_.requestsSent();
    // Without a COUNT the host's one-element form is used.
    const CLabelVariable record = item.countGiven
                                      ? driver_->ReadVariable(item.label, item.type, item.count)
                                      : driver_->ReadVariable(item.label, item.type);
    return resultOf(record, item.label, item.type, item.count, sentBefore);
}

QVector<LabelResult> Session::readAll(MergedReader &reader, const QList<ReadItem> &items)
{
    QVector<LabelResult> replies;
    const QVector<MergedReader::Result> results = reader.read([&](const MergedReader::Request &request) {
        LabelResult reply;
        if (request.item >= 0) {
            reply = readItem(items.at(request.item));
        } else {
            trace_.forget();
            const int sentBefore = trace_.requestsSent();
            const CLabelVariable record = driver_->ReadVariable(request.label, request.type, request.count);
            reply = resultOf(record, request.label, request.type, request.count, sentBefore);
        }
        replies.append(reply);
        return MergedReader::Reply{reply.status, reply.value, reply.time};
    });
    QVector<LabelResult> labelResults;
    for (int index = 0; index < items.size(); ++index) {
        const MergedReader::Result &merged = results.at(index);
        // How its request fared (reason, time), with the item's own place and value.
        LabelResult result = replies.value(merged.request);
        result.label = items.at(index).label;
        result.type = items.at(index).type;
        result.count = items.at(index).count;
        result.status = merged.status;
        result.value = merged.value;
        labelResults.append(result);
    }
    return labelResults;
}

int Session::show(const LabelResult &result)
{
    output_.result(result);
    const QString where = result.label + QLatin1Char(' ') + ValueText::typeName(result.type);
    if (result.status != 0) {
        QString message = QStringLiteral("%1: status %2 %3")
                              .arg(where)
                              .arg(result.status)
                              .arg(StatusText::labelStatus(result.status));
        if (!result.reason.isEmpty())
            message += QStringLiteral(": ") + result.reason;
        const bool refusal = !result.sent && result.status >= 2 && result.status <= 5;
        if (refusal)
            message += QStringLiteral(" (refused before anything was sent)");
        if (refusal && (result.status == 4 || result.status == 5)) {
            const QString limit = ElementAddress::countLimit(result.label, result.type, result.count,
                                                             result.write);
            if (!limit.isEmpty())
                message += QStringLiteral(": ") + limit;
        }
        output_.note(message);
        return refusal ? ExitUsage : ExitFailed;
    }
    const QString problem = dataProblem(result);
    if (!problem.isEmpty()) {
        output_.note(where + QStringLiteral(": ") + problem);
        return ExitFailed;
    }
    return ExitOk;
}

int Session::info(const Invocation &invocation, const QString &pluginFile)
{
    DriverInfo info;
    info.plugin = pluginFile;
    info.name = driver_->getDriveName();
    info.version = driver_->getversion_number();
    info.build = driver_->DebugCmd(EDebugBuildInfo);
    info.connection = invocation.connection;
    int exitCode = ExitOk;
    if (!info.connection.isEmpty()) {
        info.connectResult = driver_->ConnectDrive(invocation.driverConnection(info.connection));
        if (info.connectResult != 0) {
            info.connectProblem = LinkProbe::problem(info.connection);
            exitCode = ExitConnection;
        } else {
            // Only an answer tells that a PLC of this station is there.
            info.station = invocation.stationText.isEmpty() ? 1 : invocation.stationText.toInt();
            const LabelResult probe = readItem(stationProbe());
            info.readStatus = probe.status;
            info.readReason = probe.reason;
            // A station that answers unusably is no station to work with.
            if (probe.status != 0)
                exitCode = ExitFailed;
        }
    }
    if (invocation.json())
        output_.out() << infoJson(info) << Qt::endl;
    else
        output_.out() << infoText(info) << Qt::flush;
    if (exitCode == ExitConnection) {
        output_.note(QStringLiteral("cannot connect to %1: %2")
                         .arg(info.connection, connectFailure(info.connection, info.connectResult)));
    } else if (exitCode == ExitFailed) {
        output_.note(stationVerdict(info));
    }
    return exitCode;
}

int Session::read(const Invocation &invocation)
{
    QList<LabelResult> results;
    for (const ReadItem &item : invocation.items)
        results << readItem(item);
    awaitLateAnswer(&results);
    int exitCode = ExitOk;
    for (const LabelResult &result : qAsConst(results))
        exitCode = worseExit(exitCode, show(result));
    output_.endCycle();
    return exitCode;
}

// An answer that comes after the wait is not wiring but a slow line; if it
// comes soon after a request went unanswered, the reason says so.
void Session::awaitLateAnswer(QList<LabelResult> *results)
{
    const auto unanswered = [](const LabelResult &result) { return result.status == 8 && result.sent; };
    if (std::none_of(results->cbegin(), results->cend(), unanswered))
        return;
    constexpr int lingerMs = 1500;
    QElapsedTimer waited;
    waited.start();
    while (trace_.lateAnswer().isEmpty() && waited.elapsed() < lingerMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const QString late = trace_.lateAnswer();
    if (late.isEmpty())
        return;
    for (LabelResult &result : *results) {
        if (unanswered(result) && !result.reason.contains(late))
            result.reason += QStringLiteral("; ") + late;
    }
}

LabelResult Session::writeValues(const QString &label, DataType type, const QVariant &values,
                                 int count, bool countGiven)
{
    CLabelVariable record;
    record.value = values;
    record.address = label;
    record.type = type;
    record.count = count;
    trace_.forget();
    const int sentBefore = trace_.requestsSent();
    // Without a count the host's one-element form is used.
    const CLabelVariable answer = countGiven ? driver_->WriteVariable(label, type, record, count)
                                             : driver_->WriteVariable(label, type, record);
    LabelResult result = resultOf(answer, label, type, count, sentBefore);
    result.write = true;
    return result;
}

int Session::write(const Invocation &invocation)
{
    QList<LabelResult> results { writeValues(invocation.label, invocation.type, invocation.values,
                                             invocation.count, invocation.countGiven) };
    awaitLateAnswer(&results);
    return show(results.first());
}

// Read the word, change the named bits, write it back.
int Session::mergeBits(const Invocation &invocation)
{
    const LabelResult before = readItem(ReadItem{invocation.label, DT_UInt16, 1, false});
    if (before.status != 0 || !dataProblem(before).isEmpty())
        return show(before);
    const quint16 old = before.value.value<QList<unsigned short>>().value(0);
    quint16 word = old;
    const QList<bool> bits = invocation.values.value<QList<bool>>();
    for (int i = 0; i < bits.size(); ++i) {
        if (bits.at(i))
            word |= quint16(1u << i);
        else
            word &= quint16(~(1u << i));
    }
    output_.note(QStringLiteral("--merge read %1 as 0x%2 and writes 0x%3; this is not atomic: "
                                "the PLC's program may change the word between the read and the write")
                     .arg(invocation.label,
                          QStringLiteral("%1").arg(old, 4, 16, QLatin1Char('0')).toUpper(),
                          QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper()));
    Invocation wordWrite = invocation;
    wordWrite.type = DT_UInt16;
    wordWrite.count = 1;
    wordWrite.countGiven = false;
    wordWrite.values = QVariant::fromValue(QList<unsigned short>{word});
    return write(wordWrite);
}
