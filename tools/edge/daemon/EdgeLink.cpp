// SPDX-License-Identifier: LGPL-2.1-or-later
#include "EdgeLink.h"

#include "CDriveBaseClass.h"
#include "LinkAccount.h"
#include "PluginLoader.h"
#include "StatusText.h"
#include "ValueText.h"
#include "cycleschedule.h"
#include "exception.h"

#include <QtCore/QTimer>

#include <algorithm>

namespace {

const int statsPeriodMs = 10000;

// The link whose driver runs on this thread: its account lines are its own.
thread_local EdgeLink *accountOwner = nullptr;

} // namespace

bool EdgeLink::account(const QString &line)
{
    LinkAccount::Event event;
    if (!accountOwner || !LinkAccount::parse(line, &event))
        return false;
    switch (event.kind) {
    case LinkAccount::Kind::OwedDroppedLate:
    case LinkAccount::Kind::OwedTakenLate:
        ++accountOwner->lateAnswers_;
        break;
    case LinkAccount::Kind::Synchronising:
        ++accountOwner->synchronisingReads_;
        break;
    case LinkAccount::Kind::WaitLearnt:
        accountOwner->waitMs_ = event.ms;
        break;
    default:
        break;
    }
    return true;
}

// The tags of one period, read together.
struct EdgeLink::Group
{
    int periodMs;
    QVector<int> tags;
    std::unique_ptr<MergedReader> reader;
    QTimer timer;
    qint64 dueMs = 0;
    bool due = false;
    QVector<std::optional<EdgeReading>> previous; // by item
};

EdgeLink::EdgeLink(const EdgeLinkConfig &config, const PluginLoader &loader, const Options &options)
    : config_(config), loader_(loader), options_(options)
{
}

EdgeLink::~EdgeLink()
{
    stop();
}

void EdgeLink::start()
{
    accountOwner = this;
    clock_.start();
    driver_ = loader_.createDriver();
    if (driver_ && !config_.station.isEmpty())
        driver_->SetConnectPar(config_.station);
    statsTimer_ = new QTimer(this);
    connect(statsTimer_, &QTimer::timeout, this, &EdgeLink::publishStats);
    statsTimer_->start(statsPeriodMs);
    plan();
    publishStats();
}

void EdgeLink::stop()
{
    stopping_ = true;
    for (const auto &group : groups_)
        group->timer.stop();
    // From inside a wait: the call in progress ends with status 9, and the
    // driver goes once it has returned.
    if (busy_) {
        if (driver_)
            driver_->DisConnectDrive();
        return;
    }
    release();
}

void EdgeLink::release()
{
    if (accountOwner == this)
        accountOwner = nullptr;
    groups_.clear();
    delete statsTimer_;
    statsTimer_ = nullptr;
    if (driver_) {
        driver_->DisConnectDrive();
        PluginLoader::destroyDriver(driver_);
        driver_ = nullptr;
    }
    connected_ = false;
}

void EdgeLink::setTags(const QList<TagFile::Tag> &tags)
{
    config_.tags = tags;
    replan_ = true;
    drain();
}

// Runs what is queued, writes first, until nothing is due; re-entered from
// inside a driver call it leaves the work to the drain in progress.
void EdgeLink::drain()
{
    if (busy_)
        return;
    busy_ = true;
    while (!stopping_) {
        if (replan_) {
            replan_ = false;
            plan();
            continue;
        }
        if (!writes_.isEmpty()) {
            runWrite(writes_.takeFirst());
            continue;
        }
        auto due = std::find_if(groups_.begin(), groups_.end(), [](const auto &group) { return group->due; });
        if (due == groups_.end())
            break;
        (*due)->due = false;
        runCycle(due->get());
    }
    busy_ = false;
    if (stopping_)
        release();
}

// A reader and a timer for each period; the first cycles start at the
// link's place in the period.
void EdgeLink::plan()
{
    groups_.clear();
    QMap<int, QVector<int>> byPeriod;
    for (int i = 0; i < config_.tags.size(); ++i)
        byPeriod[config_.tags.at(i).periodMs].append(i);
    for (auto period = byPeriod.cbegin(); period != byPeriod.cend(); ++period) {
        auto group = std::make_unique<Group>();
        group->periodMs = period.key();
        group->tags = period.value();
        group->previous.resize(group->tags.size());
        QVector<ReadPlan::Item> items;
        for (int tag : qAsConst(group->tags)) {
            const TagFile::Tag &t = config_.tags.at(tag);
            items.append(ReadPlan::item(t.label, ValueText::dataType(t.type), t.count));
        }
        group->reader = std::make_unique<MergedReader>(items, config_.plan);
        group->timer.setSingleShot(true);
        group->timer.setTimerType(Qt::PreciseTimer);
        Group *raw = group.get();
        connect(&group->timer, &QTimer::timeout, this, [this, raw] {
            raw->due = true;
            drain();
        });
        const qint64 delayMs = CycleSchedule::firstDelayMs(group->periodMs, options_.place, options_.places);
        group->dueMs = clock_.elapsed() + delayMs;
        group->timer.start(int(delayMs));
        groups_.push_back(std::move(group));
    }
}

bool EdgeLink::linkUp(QString *reason)
{
    if (!driver_) {
        *reason = QStringLiteral("the plug-in gave no driver");
        return false;
    }
    if (connected_)
        return true;
    const int result = driver_->ConnectDrive(config_.connection);
    ++connects_;
    connected_ = result == 0;
    if (!connected_) {
        *reason = QStringLiteral("cannot connect to %1: %2")
                      .arg(config_.connection, StatusText::connectResult(result, config_.connection));
    }
    return connected_;
}

void EdgeLink::countStatus(int status)
{
    if (status != 0)
        ++failures_[status];
}

EdgeReading EdgeLink::readingOf(const Group &group, int item, const MergedReader::Result &result)
{
    EdgeReading reading{group.tags.at(item), result.status, result.value, QString(), result.time};
    if (result.status != 0)
        reading.reason = StatusText::labelStatus(result.status);
    if (!reading.time.isValid())
        reading.time = QDateTime::currentDateTimeUtc();
    countStatus(result.status);
    // The link went away: open it again next cycle.
    if (result.status == StatusText::notConnected)
        connected_ = false;
    return reading;
}

void EdgeLink::pass(Group *group, int item, EdgeReading reading, QVector<EdgeReading> *batch)
{
    if (options_.changesOnly) {
        std::optional<EdgeReading> &previous = group->previous[item];
        const DataType type = ValueText::dataType(config_.tags.at(reading.tag).type);
        if (previous && previous->status == reading.status && previous->reason == reading.reason
            && (reading.status != 0 || Exception::sameList(type, previous->value, reading.value)))
            return;
        previous = reading;
    }
    batch->append(std::move(reading));
}

void EdgeLink::runCycle(Group *group)
{
    const qint64 startMs = clock_.elapsed();
    QVector<EdgeReading> batch;
    QString reason;
    if (linkUp(&reason)) {
        MergedReader::RunDone runDone;
        if (options_.eachRun) {
            runDone = [this, group](const QVector<MergedReader::Result> &results, const QVector<int> &items) {
                if (stopping_)
                    return;
                QVector<EdgeReading> run;
                for (int item : items)
                    pass(group, item, readingOf(*group, item, results.at(item)), &run);
                if (!run.isEmpty())
                    emit readings(run);
            };
        }
        const QVector<MergedReader::Result> results = group->reader->read(*driver_, runDone);
        requestsByPeriod_[group->periodMs] = group->reader->requests();
        requests_ += group->reader->requests();
        // A stop during the cycle cut its reads short: what they gave is
        // about the stop, not the PLC, and is not published.
        if (!options_.eachRun && !stopping_) {
            for (int i = 0; i < results.size(); ++i)
                pass(group, i, readingOf(*group, i, results.at(i)), &batch);
            if (!batch.isEmpty())
                emit readings(batch);
        }
    } else {
        const QDateTime now = QDateTime::currentDateTimeUtc();
        for (int i = 0; i < group->tags.size(); ++i) {
            pass(group, i, {group->tags.at(i), StatusText::notConnected, QVariant(), reason, now}, &batch);
            countStatus(StatusText::notConnected);
        }
        if (!batch.isEmpty())
            emit readings(batch);
    }
    ++cycles_;
    const qint64 endMs = clock_.elapsed();
    lastCycleMs_ = endMs - startMs;
    const CycleSchedule::Next next = CycleSchedule::next(group->dueMs, group->periodMs, endMs);
    group->dueMs = next.dueMs;
    if (next.overrun)
        ++overruns_;
    group->timer.start(int(group->dueMs - endMs));
}

void EdgeLink::write(int tag, const QVariant &values, int count, quint64 request)
{
    writes_.append({tag, values, count, request});
    drain();
}

void EdgeLink::runWrite(const Write &job)
{
    const int tag = job.tag;
    const quint64 request = job.request;
    QString reason;
    if (tag < 0 || tag >= config_.tags.size()) {
        emit written(request, tag, 3, QStringLiteral("no such tag"), QDateTime::currentDateTimeUtc());
        return;
    }
    if (!linkUp(&reason)) {
        emit written(request, tag, StatusText::notConnected, reason, QDateTime::currentDateTimeUtc());
        return;
    }
    const TagFile::Tag &target = config_.tags.at(tag);
    CLabelVariable record;
    record.value = job.values;
    const CLabelVariable result =
        driver_->WriteVariable(target.label, ValueText::dataType(target.type), record, job.count);
    ++requests_;
    countStatus(result.status);
    if (result.status == StatusText::notConnected)
        connected_ = false;
    emit written(request, tag, result.status,
                 result.status == 0 ? QString() : StatusText::labelStatus(result.status),
                 result.timestamp.isValid() ? result.timestamp : QDateTime::currentDateTimeUtc());
}

void EdgeLink::publishStats()
{
    emit stats(statsView());
}

QJsonObject EdgeLink::statsView() const
{
    QJsonObject failures;
    for (auto failure = failures_.cbegin(); failure != failures_.cend(); ++failure)
        failures.insert(QString::number(failure.key()), failure.value());
    int requestsPerCycle = 0;
    for (int requests : requestsByPeriod_)
        requestsPerCycle += requests;
    return QJsonObject{
        {QStringLiteral("state"), connected_ ? QStringLiteral("up") : QStringLiteral("down")},
        {QStringLiteral("connection"), config_.connection},
        {QStringLiteral("tags"), config_.tags.size()},
        {QStringLiteral("requests"), requests_},
        {QStringLiteral("requests_per_cycle"), requestsPerCycle},
        {QStringLiteral("cycles"), cycles_},
        {QStringLiteral("cycle_ms"), lastCycleMs_},
        {QStringLiteral("overruns"), overruns_},
        {QStringLiteral("connects"), connects_},
        {QStringLiteral("failures"), failures},
        {QStringLiteral("late_answers"), lateAnswers_},
        {QStringLiteral("synchronising_reads"), synchronisingReads_},
        {QStringLiteral("answer_wait_ms"), waitMs_},
    };
}
