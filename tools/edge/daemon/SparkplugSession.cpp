// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SparkplugSession.h"

#include "StatusText.h"
#include "exception.h"
#include "samplepayload.h"

#include <QtCore/QDateTime>

#include <cstdio>

namespace {

// Aliases are unique over the node: each device has its own thousands.
constexpr quint64 aliasesPerDevice = 100000;

qint64 nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

// What the exception filter compares: the value as JSON, or the failure.
Sample sampleOf(const TagFile::Tag &tag, const Sparkplug::Reading &reading)
{
    Sample sample;
    sample.status = reading.status;
    sample.reason = reading.reason;
    if (reading.status == 0)
        sample.value = SamplePayload::jsonValue(reading.value, tag.count);
    return sample;
}

} // namespace

SparkplugSession::SparkplugSession(const EdgeConfig &config)
    : group_(config.sparkplugGroup), node_(config.node), primaryHost_(config.primaryHost),
      bdSeqFile_(config.stateDir.isEmpty() ? QString() : config.stateDir + QStringLiteral("/bdseq")),
      bdSeq_(bdSeqFile_.isEmpty() ? 255 : Sparkplug::loadBirthDeath(bdSeqFile_))
{
    for (int link = 0; link < config.links.size(); ++link) {
        Device device;
        device.name = config.links.at(link).name;
        devices_.append(device);
        setTags(link, config.links.at(link).tags);
    }
}

void SparkplugSession::setTags(int link, const QList<TagFile::Tag> &tags)
{
    Device &device = devices_[link];
    device.tags.clear();
    for (int t = 0; t < tags.size(); ++t)
        device.tags.append({tags.at(t), quint64(link + 1) * aliasesPerDevice + quint64(t), {}});
    device.published = QVector<std::optional<Sample>>(tags.size());
    // Its metrics changed: the device is born again with the next readings.
    device.born = false;
}

QByteArray SparkplugSession::nextDeath()
{
    const quint64 bdSeq = bdSeq_.advance();
    QString error;
    if (!bdSeqFile_.isEmpty() && !Sparkplug::saveBirthDeath(bdSeqFile_, bdSeq, &error))
        std::fprintf(stderr, "norvo-edge: cannot keep bdSeq in %s: %s\n", qPrintable(bdSeqFile_), qPrintable(error));
    return Sparkplug::nodeDeath(nowMs(), bdSeq);
}

QByteArray SparkplugSession::death(qint64 timeMs) const
{
    return Sparkplug::nodeDeath(timeMs, bdSeq_.current());
}

QString SparkplugSession::deathTopic() const
{
    return Sparkplug::topic(group_, Sparkplug::MessageType::NDEATH, node_);
}

QString SparkplugSession::stateTopic() const
{
    return primaryHost_.isEmpty() ? QString() : QStringLiteral("spBv1.0/STATE/") + primaryHost_;
}

QStringList SparkplugSession::subscriptions() const
{
    QStringList topics{Sparkplug::topic(group_, Sparkplug::MessageType::NCMD, node_),
                       Sparkplug::topic(group_, Sparkplug::MessageType::DCMD, node_, QStringLiteral("+"))};
    if (!primaryHost_.isEmpty())
        topics << stateTopic();
    return topics;
}

QString SparkplugSession::deviceTopic(Sparkplug::MessageType type, const Device &device) const
{
    return Sparkplug::topic(group_, type, node_, device.name);
}

QList<SparkplugSession::Message> SparkplugSession::births(qint64 timeMs,
                                                          const QList<Sparkplug::Metric> &health)
{
    QList<Message> messages;
    seq_.birth();
    messages.append({Sparkplug::topic(group_, Sparkplug::MessageType::NBIRTH, node_),
                     Sparkplug::nodeBirth(timeMs, bdSeq_.current(), health)});
    for (Device &device : devices_) {
        if (!device.born)
            continue;
        messages.append({deviceTopic(Sparkplug::MessageType::DBIRTH, device),
                         Sparkplug::deviceBirth(timeMs, seq_.next(), device.tags)});
        for (int t = 0; t < device.tags.size(); ++t) {
            if (device.tags.at(t).reading.timeMs != 0)
                device.published[t] = sampleOf(device.tags.at(t).tag, device.tags.at(t).reading);
        }
    }
    return messages;
}

QList<SparkplugSession::Message> SparkplugSession::readings(int link, const QVector<EdgeReading> &readings,
                                                            bool live)
{
    Device &device = devices_[link];
    bool linkDown = !readings.isEmpty();
    for (const EdgeReading &reading : readings) {
        if (reading.tag < 0 || reading.tag >= device.tags.size())
            continue;
        device.tags[reading.tag].reading = {reading.value, reading.status, reading.reason,
                                            reading.time.toMSecsSinceEpoch()};
        linkDown = linkDown && reading.status == StatusText::notConnected;
    }
    const qint64 timeMs = nowMs();
    QList<Message> messages;
    if (linkDown) {
        if (device.born && live)
            messages.append({deviceTopic(Sparkplug::MessageType::DDEATH, device), Sparkplug::deviceDeath(timeMs, 0)});
        device.born = false;
        return messages;
    }
    if (!device.born) {
        device.born = true;
        if (live) {
            messages.append({deviceTopic(Sparkplug::MessageType::DBIRTH, device),
                             Sparkplug::deviceBirth(timeMs, 0, device.tags)});
        }
        for (const EdgeReading &reading : readings) {
            if (reading.tag >= 0 && reading.tag < device.tags.size())
                device.published[reading.tag] = sampleOf(device.tags.at(reading.tag).tag,
                                                         device.tags.at(reading.tag).reading);
        }
        if (live)
            return messages;
    }
    QList<Sparkplug::TagState> changed;
    for (const EdgeReading &reading : readings) {
        if (reading.tag < 0 || reading.tag >= device.tags.size())
            continue;
        const Sparkplug::TagState &state = device.tags.at(reading.tag);
        const Sample sample = sampleOf(state.tag, state.reading);
        if (!Exception::publish(device.published.at(reading.tag), sample, state.tag.deadband))
            continue;
        device.published[reading.tag] = sample;
        changed.append(state);
    }
    if (!changed.isEmpty()) {
        const QByteArray data = Sparkplug::deviceData(timeMs, 0, changed);
        messages.append({deviceTopic(Sparkplug::MessageType::DDATA, device),
                         live ? data : Sparkplug::sequenced(data, 0, true)});
    }
    return messages;
}

QByteArray SparkplugSession::numbered(const QByteArray &payload)
{
    return Sparkplug::sequenced(payload, seq_.next(), false);
}

bool SparkplugSession::isRebirth(const QString &topic, const QByteArray &payload) const
{
    return topic == Sparkplug::topic(group_, Sparkplug::MessageType::NCMD, node_)
        && Sparkplug::rebirthRequested(payload);
}

int SparkplugSession::commandedLink(const QString &topic) const
{
    for (int link = 0; link < devices_.size(); ++link) {
        if (topic == deviceTopic(Sparkplug::MessageType::DCMD, devices_.at(link)))
            return link;
    }
    return -1;
}
