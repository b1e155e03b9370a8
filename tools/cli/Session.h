// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_SESSION_H
#define NORVO_CLI_SESSION_H

#include "Invocation.h"
#include "Output.h"
#include "ResultText.h"

#include <csignal>

class CDriveBaseClass;
class CLabelVariable;
class FrameTrace;
class MergedReader;

// Watches a poll from beside it (watch's page): every result and link
// event, and a chance between reads to use the driver on its own thread.
class PollObserver
{
public:
    // `item` is the result's place in the invocation's items.
    virtual void result(int item, const LabelResult &result) = 0;
    virtual void event(const QString &name, const QString &detail) = 0;
    virtual void serve() = 0;

protected:
    ~PollObserver() = default;
};

// One run of a command against one driver, as the host would drive it:
// debug switch, station, connection, then the reads and writes. Closing the
// link is left to the caller.
class Session
{
public:
    // `trace` sees the driver's request and answer lines and the link's
    // account of frames (main hands them to it), so that a failed request
    // can be told by its cause.
    Session(CDriveBaseClass *driver, FrameTrace &trace, Output &output);

    // The exit status. `pluginFile` is shown by info; a poll or scan stops
    // at the next request once *stop is set.
    int run(const Invocation &invocation, const QString &pluginFile,
            const volatile std::sig_atomic_t *stop);

private:
    int info(const Invocation &invocation, const QString &pluginFile);
    int read(const Invocation &invocation);
    int write(const Invocation &invocation);
    int mergeBits(const Invocation &invocation);
    int poll(const Invocation &invocation, const volatile std::sig_atomic_t *stop,
             PollObserver *observer = nullptr);
    int scan(const Invocation &invocation, const volatile std::sig_atomic_t *stop);
    int watch(const Invocation &invocation, const volatile std::sig_atomic_t *stop);

    // False, with the reason shown, unless ConnectDrive gives 0.
    bool connect(const QString &connection);
    // What ConnectDrive's result and norvo's own look say about a failure.
    QString connectFailure(const QString &connection, int result) const;
    LabelResult readItem(const ReadItem &item);
    // Every item once, in as few requests as the reader's plan allows; each
    // result carries the reason its request failed.
    QVector<LabelResult> readAll(MergedReader &reader, const QList<ReadItem> &items);
    LabelResult writeValues(const QString &label, DataType type, const QVariant &values, int count,
                            bool countGiven);
    // What info and scan read to learn whether a station answers.
    static ReadItem stationProbe();
    LabelResult resultOf(const CLabelVariable &record, const QString &label, DataType type,
                         int count, int sentBefore) const;
    // After a request went unanswered: waits briefly for its late answer,
    // and puts what it tells into the reasons.
    void awaitLateAnswer(QList<LabelResult> *results);
    // Shows one result; its exit status (ExitOk, ExitFailed or ExitUsage).
    int show(const LabelResult &result);

    CDriveBaseClass *driver_;
    const Invocation *invocation_ = nullptr; // the one being run
    FrameTrace &trace_;
    Output &output_;
};

// The worse of two exit statuses of results: a failure outweighs a refusal.
int worseExit(int a, int b);

#endif
