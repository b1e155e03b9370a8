// SPDX-License-Identifier: LGPL-2.1-or-later
#include "EdgeNode.h"

#include "PluginLoader.h"
#include "SparkplugSession.h"
#include "StatusText.h"
#include "exception.h"
#include "samplepayload.h"
#include "sequencefile.h"
#include "writerequest.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QFile>
#include <QtCore/QSaveFile>
#include <QtCore/QThread>

#include <cstdio>

namespace {

// Messages handed to the client before it confirms the first: enough to
// keep a link to a distant broker busy, few enough to resend after a drop.
const int window = 64;

void log(const QString &message)
{
    std::fprintf(stderr, "norvo-edge: %s\n", qPrintable(message));
}

QByteArray compact(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

EdgeNode::EdgeNode(const EdgeConfig &config, const PluginLoader &loader)
    : config_(config), loader_(loader), store_(config.stateDir), client_(config.broker)
{
    qRegisterMetaType<QVector<EdgeReading>>();
    connect(&client_, &MqttClient::connected, this, &EdgeNode::onConnected);
    connect(&client_, &MqttClient::connectionLost, this, &EdgeNode::onConnectionLost);
    connect(&client_, &MqttClient::delivered, this, &EdgeNode::onDelivered);
    connect(&client_, &MqttClient::messageArrived, this, &EdgeNode::onMessage);
}

EdgeNode::~EdgeNode()
{
    stop();
}

QString EdgeNode::topic(const QString &level) const
{
    return QStringLiteral("norvo/%1/%2").arg(config_.node, level);
}

bool EdgeNode::start(QString *error)
{
    if (!config_.stateDir.isEmpty() && !store_.onDisk()) {
        *error = QStringLiteral("the state folder %1 cannot be used: %2")
                     .arg(config_.stateDir, store_.takeProblems().join(QStringLiteral("; ")));
        return false;
    }
    if (store_.size() > 0)
        log(QStringLiteral("%1 samples from before the restart wait for the broker").arg(store_.size()));
    if (!config_.sparkplugGroup.isEmpty()) {
        sparkplug_ = std::make_unique<SparkplugSession>(config_);
        // Each connection's will is an NDEATH with its own bdSeq, not
        // retained (Sparkplug's rule).
        connect(&client_, &MqttClient::aboutToConnect, this,
                [this] { client_.setWill(sparkplug_->deathTopic(), sparkplug_->nextDeath(), false); });
    }
    if (!client_.start()) {
        *error = client_.errorString();
        return false;
    }
    for (int index = 0; index < config_.links.size(); ++index) {
        Link link;
        // Sparkplug's DDATA carries a cycle's changes in one message, and
        // its births every tag's latest reading; JSON topics carry one tag
        // each, and go as each read is in, when it brings something new.
        link.worker = new EdgeLink(config_.links.at(index), loader_,
                                   {index, int(config_.links.size()), !sparkplug_, !sparkplug_});
        link.thread = new QThread(this);
        link.thread->setObjectName(QStringLiteral("link ") + config_.links.at(index).name);
        link.states.resize(config_.links.at(index).tags.size());
        link.worker->moveToThread(link.thread);
        connect(link.thread, &QThread::started, link.worker, &EdgeLink::start);
        connect(link.worker, &EdgeLink::readings, this,
                [this, index](const QVector<EdgeReading> &readings) { onReadings(index, readings); });
        connect(link.worker, &EdgeLink::written, this,
                [this, index](quint64 request, int tag, int status, const QString &reason, const QDateTime &time) {
                    onWritten(index, request, tag, status, reason, time);
                });
        const QString linkTopic = topic(QStringLiteral("links/") + config_.links.at(index).name);
        connect(link.worker, &EdgeLink::stats, this, [this, linkTopic](const QJsonObject &stats) {
            // A view of now: not worth keeping while the broker is away.
            if (client_.isConnected())
                client_.publish(0, linkTopic, compact(stats), true);
        });
        links_.append(link);
    }
    loadSequences();
    for (const Link &link : qAsConst(links_))
        link.thread->start();
    return true;
}

void EdgeNode::stop()
{
    if (!links_.isEmpty())
        saveSequences();
    for (int index = 0; index < links_.size(); ++index) {
        Link &link = links_[index];
        QMetaObject::invokeMethod(link.worker, &EdgeLink::stop, Qt::BlockingQueuedConnection);
        link.thread->quit();
        link.thread->wait();
        // The link's last account stays on its topic.
        if (client_.isConnected()) {
            client_.publish(0, topic(QStringLiteral("links/") + config_.links.at(index).name),
                            compact(link.worker->statsView()), true);
        }
        delete link.worker;
    }
    links_.clear();
    if (client_.isConnected() && sparkplug_)
        client_.publish(0, sparkplug_->deathTopic(), sparkplug_->death(QDateTime::currentMSecsSinceEpoch()), false);
    else if (client_.isConnected())
        client_.publish(0, topic(QStringLiteral("status")), "offline", true);
}

// Each tag's seq goes on across restarts, so that a subscriber can tell a
// lost sample from a restart.
QString EdgeNode::sequenceFile() const
{
    return config_.stateDir.isEmpty() ? QString() : config_.stateDir + QStringLiteral("/sequences.json");
}

void EdgeNode::loadSequences()
{
    QFile file(sequenceFile());
    if (sequenceFile().isEmpty() || !file.open(QIODevice::ReadOnly))
        return;
    const QHash<QString, qint64> saved = SequenceFile::parse(file.readAll());
    for (int index = 0; index < links_.size(); ++index) {
        const QList<TagFile::Tag> &tags = config_.links.at(index).tags;
        for (int t = 0; t < tags.size(); ++t)
            links_[index].states[t].seq = saved.value(tags.at(t).name);
    }
}

void EdgeNode::saveSequences() const
{
    if (sequenceFile().isEmpty())
        return;
    QHash<QString, qint64> sequences;
    for (int index = 0; index < links_.size() && index < config_.links.size(); ++index) {
        const QList<TagFile::Tag> &tags = config_.links.at(index).tags;
        for (int t = 0; t < tags.size() && t < links_.at(index).states.size(); ++t)
            sequences.insert(tags.at(t).name, links_.at(index).states.at(t).seq);
    }
    QSaveFile file(sequenceFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(SequenceFile::serialized(sequences)) < 0 || !file.commit())
        log(QStringLiteral("cannot keep the tags' sequence numbers in %1").arg(sequenceFile()));
}

QString EdgeNode::reloadTags()
{
    EdgeConfig reloaded = config_;
    const QString error = ::reloadTags(&reloaded);
    if (!error.isEmpty())
        return error;
    const EdgeConfig before = config_;
    config_ = reloaded;
    for (int index = 0; index < links_.size(); ++index) {
        Link &link = links_[index];
        const QList<TagFile::Tag> tags = config_.links.at(index).tags;
        // Every tag publishes afresh, its seq going on where it was.
        QHash<QString, qint64> sequences;
        for (int t = 0; t < link.states.size() && t < before.links.at(index).tags.size(); ++t)
            sequences.insert(before.links.at(index).tags.at(t).name, link.states.at(t).seq);
        link.states = QVector<TagState>(tags.size());
        for (int t = 0; t < tags.size(); ++t)
            link.states[t].seq = sequences.value(tags.at(t).name);
        if (sparkplug_)
            sparkplug_->setTags(index, tags);
        QMetaObject::invokeMethod(link.worker, [worker = link.worker, tags] { worker->setTags(tags); },
                                  Qt::QueuedConnection);
    }
    return QString();
}

void EdgeNode::onReadings(int index, const QVector<EdgeReading> &readings)
{
    if (sparkplug_) {
        for (const SparkplugSession::Message &message : sparkplug_->readings(index, readings, live()))
            append(message.topic, message.payload, false);
        pump();
        return;
    }
    Link &link = links_[index];
    const QList<TagFile::Tag> &tags = config_.links.at(index).tags;
    for (const EdgeReading &reading : readings) {
        if (reading.tag < 0 || reading.tag >= tags.size() || reading.tag >= link.states.size())
            continue; // a cycle of the tags before a reload
        const TagFile::Tag &tag = tags.at(reading.tag);
        Sample sample;
        sample.status = reading.status;
        sample.reason = reading.reason;
        if (reading.status == 0) {
            sample.value = SamplePayload::jsonValue(reading.value, tag.count);
            if (sample.value.isUndefined()) {
                sample.status = 7;
                sample.reason = QStringLiteral("the driver's value holds no %1 list of %2")
                                    .arg(ValueTypes::info(tag.type).name)
                                    .arg(tag.count);
            }
        }
        TagState &state = link.states[reading.tag];
        if (!Exception::publish(state.last, sample, tag.deadband))
            continue;
        state.last = sample;
        append(topic(tag.name), SamplePayload::payload(sample, reading.time, ++state.seq), true);
    }
    pump();
}

QString EdgeNode::startWrite(int link, int tag, const QJsonArray &values, const QJsonValue &asSent)
{
    const TagFile::Tag &target = config_.links.at(link).tags.at(tag);
    QVariant list;
    const QString refusal = WriteRequest::typedValues(target.type, values, &list);
    if (!refusal.isEmpty())
        return refusal;
    const quint64 request = ++nextWrite_;
    writes_.insert(request, asSent);
    QMetaObject::invokeMethod(links_[link].worker,
                              [worker = links_[link].worker, tag, list, count = target.count, request] {
                                  worker->write(tag, list, count, request);
                              },
                              Qt::QueuedConnection);
    return QString();
}

void EdgeNode::onSparkplugMessage(const QString &name, const QByteArray &payload)
{
    if (name == sparkplug_->stateTopic()) {
        // Sparkplug 3.0: {"online": true, "timestamp": ...}, retained by the host.
        const bool online = QJsonDocument::fromJson(payload).object().value(QStringLiteral("online")).toBool();
        const bool wasOnline = primaryOnline_;
        primaryOnline_ = online;
        log(QStringLiteral("the primary host %1 is %2").arg(config_.primaryHost,
                                                              online ? QStringLiteral("online") : QStringLiteral("offline")));
        if (online && !wasOnline && client_.isConnected()) {
            publishBirths();
            pump();
        }
        return;
    }
    if (sparkplug_->isRebirth(name, payload)) {
        log(QStringLiteral("rebirth asked for"));
        if (live())
            publishBirths();
        return;
    }
    const int link = sparkplug_->commandedLink(name);
    if (link < 0)
        return;
    QList<Sparkplug::Write> writes;
    QList<Sparkplug::Refusal> refusals;
    if (!Sparkplug::deviceCommand(payload, sparkplug_->tags(link), &writes, &refusals)) {
        log(QStringLiteral("a DCMD to %1 that is no Sparkplug payload: ignored").arg(config_.links.at(link).name));
        return;
    }
    for (const Sparkplug::Refusal &refusal : qAsConst(refusals)) {
        log(QStringLiteral("DCMD to %1, %2 not written: %3")
                .arg(config_.links.at(link).name, refusal.metric, refusal.reason));
    }
    for (const Sparkplug::Write &write : qAsConst(writes)) {
        const QString refusal = startWrite(link, write.tag, write.values, QJsonValue(write.values));
        if (!refusal.isEmpty()) {
            log(QStringLiteral("DCMD to %1, %2 not written: %3")
                    .arg(config_.links.at(link).name, config_.links.at(link).tags.at(write.tag).name, refusal));
        }
    }
}

bool EdgeNode::live() const
{
    return client_.isConnected() && (config_.primaryHost.isEmpty() || primaryOnline_);
}

void EdgeNode::publishBirths()
{
    const QList<Sparkplug::Metric> health{
        Sparkplug::nodeMetric(QStringLiteral("Node Info/Links"), QDateTime::currentMSecsSinceEpoch(),
                              quint64(links_.size())),
        Sparkplug::nodeMetric(QStringLiteral("Node Info/Buffered"), QDateTime::currentMSecsSinceEpoch(),
                              quint64(store_.size())),
        Sparkplug::nodeMetric(QStringLiteral("Node Info/Dropped"), QDateTime::currentMSecsSinceEpoch(),
                              store_.dropped())};
    for (const SparkplugSession::Message &message : sparkplug_->births(QDateTime::currentMSecsSinceEpoch(), health))
        client_.publish(0, message.topic, message.payload, false);
}

void EdgeNode::onMessage(const QString &name, const QByteArray &payload)
{
    if (sparkplug_)
        return onSparkplugMessage(name, payload);
    // norvo/NODE/TAG/set
    const QString prefix = topic(QString());
    if (!name.startsWith(prefix) || !name.endsWith(QLatin1String("/set")))
        return;
    const QString tagName = name.mid(prefix.size(), name.size() - prefix.size() - 4);
    for (int index = 0; index < config_.links.size(); ++index) {
        const QList<TagFile::Tag> &tags = config_.links.at(index).tags;
        for (int t = 0; t < tags.size(); ++t) {
            if (tags.at(t).name != tagName)
                continue;
            const TagFile::Tag &tag = tags.at(t);
            const auto refuse = [&](int status, const QString &reason) {
                log(QStringLiteral("write to %1 refused: %2").arg(tagName, reason));
                setResult(index, t, {{QStringLiteral("status"), status}, {QStringLiteral("reason"), reason}});
            };
            if (!tag.writable)
                return refuse(3, QStringLiteral("%1 is not writable: mark it writable in the tag file").arg(tagName));
            QJsonValue asSent;
            QJsonArray values;
            if (!WriteRequest::parse(payload, &asSent, &values))
                return refuse(2, QStringLiteral("the payload is not a JSON value"));
            if (values.size() != tag.count) {
                return refuse(4, QStringLiteral("%1 takes %2 values, not %3")
                                     .arg(tagName).arg(tag.count).arg(values.size()));
            }
            const QString refusal = startWrite(index, t, values, asSent);
            if (!refusal.isEmpty())
                return refuse(2, refusal);
            return;
        }
    }
    log(QStringLiteral("a write to %1: no such tag").arg(tagName));
}

void EdgeNode::onWritten(int link, quint64 request, int tag, int status, const QString &reason,
                         const QDateTime &time)
{
    if (sparkplug_) {
        // The new value goes out as DDATA once the next read sees it.
        writes_.remove(request);
        if (status != 0) {
            log(QStringLiteral("DCMD to %1, %2 failed with status %3: %4")
                    .arg(config_.links.at(link).name, config_.links.at(link).tags.at(tag).name)
                    .arg(status)
                    .arg(reason));
        }
        return;
    }
    QJsonObject result{{QStringLiteral("status"), status},
                       {QStringLiteral("time"), SamplePayload::timeText(time)}};
    const QJsonValue value = writes_.take(request);
    if (status == 0)
        result.insert(QStringLiteral("value"), value);
    else
        result.insert(QStringLiteral("reason"), reason);
    setResult(link, tag, result);
}

void EdgeNode::setResult(int link, int tag, QJsonObject result)
{
    if (!result.contains(QStringLiteral("time")))
        result.insert(QStringLiteral("time"), SamplePayload::timeText(QDateTime::currentDateTimeUtc()));
    const QString name = config_.links.at(link).tags.at(tag).name;
    append(topic(name + QStringLiteral("/set/result")), compact(result), false);
    pump();
}

void EdgeNode::append(const QString &name, const QByteArray &payload, bool retained)
{
    store_.append({name, payload, retained});
    reportStore();
}

void EdgeNode::reportStore()
{
    for (const QString &problem : store_.takeProblems())
        log(problem);
    if (store_.dropped() != droppedReported_) {
        log(QStringLiteral("the buffer is full: %1 oldest samples dropped so far").arg(store_.dropped()));
        droppedReported_ = store_.dropped();
    }
}

void EdgeNode::pump()
{
    if (!live() || inFlight_ >= window)
        return;
    for (const SampleStore::Entry &entry : store_.peek(window - inFlight_)) {
        // Sparkplug's seq is the order of sending: it is given now.
        const QByteArray payload = sparkplug_ ? sparkplug_->numbered(entry.message.payload) : entry.message.payload;
        if (!client_.publish(entry.id, entry.message.topic, payload, entry.message.retained))
            break;
        store_.markSent(entry.id);
        ++inFlight_;
    }
}

void EdgeNode::onConnected()
{
    log(QStringLiteral("connected to the broker %1:%2").arg(config_.broker.host).arg(config_.broker.port));
    inFlight_ = 0;
    store_.requeueUnconfirmed();
    if (sparkplug_) {
        primaryOnline_ = false; // until its STATE, retained, says so again
        for (const QString &filter : sparkplug_->subscriptions())
            client_.subscribe(filter);
        if (live())
            publishBirths();
    } else {
        client_.publish(0, topic(QStringLiteral("status")), "online", true);
        client_.subscribe(topic(QStringLiteral("+/set")));
    }
    pump();
}

void EdgeNode::onConnectionLost(const QString &cause)
{
    log(QStringLiteral("the broker %1:%2 is away (%3); samples wait in the buffer")
            .arg(config_.broker.host)
            .arg(config_.broker.port)
            .arg(cause));
    inFlight_ = 0;
    store_.requeueUnconfirmed();
}

void EdgeNode::onDelivered(quint64 token)
{
    if (token == 0)
        return; // status and link views are not in the store
    if (store_.confirm(token))
        --inFlight_;
    pump();
}
