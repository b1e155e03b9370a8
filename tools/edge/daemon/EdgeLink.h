// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_EDGELINK_H
#define NORVO_EDGE_EDGELINK_H

#include "EdgeConfig.h"
#include "MergedReader.h"

#include <QtCore/QDateTime>
#include <QtCore/QElapsedTimer>
#include <QtCore/QJsonObject>
#include <QtCore/QMap>
#include <QtCore/QObject>
#include <QtCore/QVariant>
#include <QtCore/QVector>

#include <memory>

class CDriveBaseClass;
class PluginLoader;
class QTimer;

// One read of one tag.
struct EdgeReading
{
    int tag = -1;
    int status = 1;
    QVariant value; // the driver's list, when the status is 0
    QString reason; // why it failed
    QDateTime time;
};
Q_DECLARE_METATYPE(QVector<EdgeReading>)

// One PLC link, as a panel drives it: its own driver on its own thread
// (every call blocks until the PLC answers), the tags read each period in
// merged reads, writes between the cycles. A link that is down is opened
// again at the start of each cycle.
//
// The driver serves the thread's events while it waits for an answer, and
// refuses a call made from inside that wait. So timers and requests only
// queue jobs; the jobs run one after the other, outside any call.
class EdgeLink : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        // The link is number `place` of the node's `places`: its cycles
        // start at that place's moment of their period (CycleSchedule).
        int place = 0;
        int places = 1;
        // Readings go out as each merged read is in, rather than once a
        // cycle: a cycle of many reads publishes its first ones sooner.
        bool eachRun = false;
        // Only readings that differ from their tag's previous one go out:
        // a repeat cannot be published, and would wake the node for nothing.
        bool changesOnly = false;
    };

    EdgeLink(const EdgeLinkConfig &config, const PluginLoader &loader, const Options &options);
    ~EdgeLink() override;

    const EdgeLinkConfig &config() const { return config_; }
    // What the link's topic tells: its state and counters.
    QJsonObject statsView() const;
    // A line of the driver's account of its link ("norvo.link"), counted
    // for the link whose thread wrote it. False when no link's thread did.
    static bool account(const QString &line);

public slots:
    // On the link's thread: makes the driver and starts the cycles.
    void start();
    // On the link's thread: closes the link and lets the driver go.
    void stop();
    void setTags(const QList<TagFile::Tag> &tags);
    // A write of values (the list of the tag's type) to the tag's label.
    void write(int tag, const QVariant &values, int count, quint64 request);

signals:
    // A cycle's readings, or a merged read's with Options::eachRun.
    void readings(const QVector<EdgeReading> &readings);
    void written(quint64 request, int tag, int status, const QString &reason, const QDateTime &time);
    void stats(const QJsonObject &stats);

private:
    struct Group;
    struct Write
    {
        int tag;
        QVariant values;
        int count;
        quint64 request;
    };

    void plan();
    void drain();
    void release();
    void runCycle(Group *group);
    EdgeReading readingOf(const Group &group, int item, const MergedReader::Result &result);
    // Adds the reading of the group's item to the batch, unless it repeats
    // the item's previous one and only changes go out.
    void pass(Group *group, int item, EdgeReading reading, QVector<EdgeReading> *batch);
    void runWrite(const Write &job);
    bool linkUp(QString *reason);
    void countStatus(int status);
    void publishStats();

    EdgeLinkConfig config_;
    const PluginLoader &loader_;
    Options options_;
    CDriveBaseClass *driver_ = nullptr;
    bool connected_ = false;
    bool busy_ = false;     // a job is running
    bool stopping_ = false;
    bool replan_ = false;   // new tags wait for the job in progress
    QList<Write> writes_;
    QString downReason_;
    std::vector<std::unique_ptr<Group>> groups_;
    QTimer *statsTimer_ = nullptr;
    QElapsedTimer clock_;
    // What the link's topic tells.
    qint64 requests_ = 0;
    qint64 cycles_ = 0;
    qint64 overruns_ = 0;
    qint64 lastCycleMs_ = 0;
    qint64 connects_ = 0;
    QMap<int, qint64> failures_; // by status
    // From the driver's account of its link.
    qint64 lateAnswers_ = 0;
    qint64 synchronisingReads_ = 0;
    int waitMs_ = 0; // 0: the default, nothing learnt
    QMap<int, int> requestsByPeriod_; // each period's last cycle
};

#endif
