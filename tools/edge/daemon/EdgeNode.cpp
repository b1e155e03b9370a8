// SPDX-License-Identifier: LGPL-2.1-or-later
#include "EdgeNode.h"

#include "PluginLoader.h"
#include "StatusText.h"
#include "ValueText.h"
#include "exception.h"
#include "samplepayload.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
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
    if (!client_.start()) {
        *error = client_.errorString();
        return false;
    }
    for (int index = 0; index < config_.links.size(); ++index) {
        Link link;
        link.worker = new EdgeLink(config_.links.at(index), loader_);
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
    if (client_.isConnected())
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
    const QJsonObject saved = QJsonDocument::fromJson(file.readAll()).object();
    for (int index = 0; index < links_.size(); ++index) {
        const QList<TagFile::Tag> &tags = config_.links.at(index).tags;
        for (int t = 0; t < tags.size(); ++t)
            links_[index].states[t].seq = qint64(saved.value(tags.at(t).name).toDouble());
    }
}

void EdgeNode::saveSequences() const
{
    if (sequenceFile().isEmpty())
        return;
    QJsonObject sequences;
    for (int index = 0; index < links_.size() && index < config_.links.size(); ++index) {
        const QList<TagFile::Tag> &tags = config_.links.at(index).tags;
        for (int t = 0; t < tags.size() && t < links_.at(index).states.size(); ++t)
            sequences.insert(tags.at(t).name, double(links_.at(index).states.at(t).seq));
    }
    QSaveFile file(sequenceFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(sequences).toJson()) < 0 || !file.commit())
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
        QMetaObject::invokeMethod(link.worker, [worker = link.worker, tags] { worker->setTags(tags); },
                                  Qt::QueuedConnection);
    }
    return QString();
}

void EdgeNode::onReadings(int index, const QVector<EdgeReading> &readings)
{
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

void EdgeNode::onMessage(const QString &name, const QByteArray &payload)
{
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
            // A scalar or an array; Qt reads only arrays and objects at the top.
            QJsonParseError parseError{};
            const QJsonDocument document = QJsonDocument::fromJson("[" + payload + "]", &parseError);
            const QJsonArray outer = document.array();
            if (parseError.error != QJsonParseError::NoError || outer.size() != 1)
                return refuse(2, QStringLiteral("the payload is not a JSON value"));
            const QJsonArray values = outer.first().isArray() ? outer.first().toArray() : QJsonArray{outer.first()};
            if (values.size() != tag.count) {
                return refuse(4, QStringLiteral("%1 takes %2 values, not %3")
                                     .arg(tagName).arg(tag.count).arg(values.size()));
            }
            QStringList texts;
            QString refusal = ValueText::textsFromJson(values, &texts);
            QVariant list;
            if (refusal.isEmpty())
                refusal = ValueText::parseValues(ValueText::dataType(tag.type), texts, &list);
            if (!refusal.isEmpty())
                return refuse(2, refusal);
            const quint64 request = ++nextWrite_;
            writes_.insert(request, outer.first());
            QMetaObject::invokeMethod(links_[index].worker,
                                      [worker = links_[index].worker, t, list, count = tag.count, request] {
                                          worker->write(t, list, count, request);
                                      },
                                      Qt::QueuedConnection);
            return;
        }
    }
    log(QStringLiteral("a write to %1: no such tag").arg(tagName));
}

void EdgeNode::onWritten(int link, quint64 request, int tag, int status, const QString &reason,
                         const QDateTime &time)
{
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
    if (!client_.isConnected() || inFlight_ >= window)
        return;
    for (const SampleStore::Entry &entry : store_.peek(window - inFlight_)) {
        if (!client_.publish(entry.id, entry.message.topic, entry.message.payload, entry.message.retained))
            break;
        store_.markSent(entry.id);
        ++inFlight_;
    }
}

void EdgeNode::onConnected()
{
    log(QStringLiteral("connected to the broker %1:%2").arg(config_.broker.host).arg(config_.broker.port));
    client_.publish(0, topic(QStringLiteral("status")), "online", true);
    client_.subscribe(topic(QStringLiteral("+/set")));
    inFlight_ = 0;
    store_.requeueUnconfirmed();
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
