// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_WATCHRECORDER_H
#define NORVO_CLI_WATCHRECORDER_H

#include "Invocation.h"
#include "ResultText.h"

#include <QtCore/QJsonObject>
#include <QtCore/QMutex>
#include <QtCore/QVector>

#include <deque>

// What watch's page shows: the items, and the results and link events of
// the last minutes, each with a sequence number so that the page asks only
// for what is new. The poll adds from its thread, the web server reads from
// its own: every call takes the lock.
class WatchRecorder
{
public:
    // Samples kept at most, whatever the window: a bound on memory for fast
    // polls of many items (each sample holds its record: about 200 bytes
    // plus 20 per value).
    static constexpr int maxSamples = 100000;

    WatchRecorder(const QList<ReadItem> &items, qint64 keepMs);

    // The result of the item at `item` in the items given.
    void add(int item, const LabelResult &result);
    void addEvent(const QString &name, const QString &detail);

    // {"items":[{"label","type","count","elements":[...],"numeric"}], ...}
    QJsonObject items() const;
    // {"next":N,"now":MS,"samples":[...],"events":[...]}: what came after
    // sequence number `since`, at most `limit` samples ("more" is then true).
    QJsonObject since(qint64 since, int limit = 5000) const;
    // The recorded window as CSV, as norvo --csv writes it.
    QString csv() const;

    const QList<ReadItem> &readItems() const { return items_; }

    // For tests: a clock other than the wall clock's milliseconds.
    void setClock(qint64 (*nowMs)()) { nowMs_ = nowMs; }

private:
    struct Sample {
        qint64 seq;
        int item;
        LabelResult result;
    };
    struct Event {
        qint64 seq;
        qint64 timeMs;
        QString name;
        QString detail;
    };
    void dropOld(qint64 nowMs);

    const QList<ReadItem> items_;
    const qint64 keepMs_;
    qint64 (*nowMs_)();
    mutable QMutex mutex_;
    qint64 nextSeq_ = 1;
    std::deque<Sample> samples_;
    std::deque<Event> events_;
};

#endif
