// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_SPARKPLUGSESSION_H
#define NORVO_EDGE_SPARKPLUGSESSION_H

#include "EdgeConfig.h"
#include "EdgeLink.h"
#include "Sparkplug.h"
#include "sample.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVector>

#include <optional>

// The node's Sparkplug B session: the edge node is the node, each link a
// device. It turns readings into DBIRTH, DDATA and DDEATH, gives the births
// of a (re)connection and a rebirth, and numbers what is sent. No I/O: the
// node publishes what it returns.
class SparkplugSession
{
public:
    struct Message
    {
        QString topic;
        QByteArray payload;
    };

    explicit SparkplugSession(const EdgeConfig &config);

    // The will of the next connection: NDEATH with a bdSeq one higher than
    // the last, kept in the state folder so that a restart goes on from it.
    QByteArray nextDeath();
    // NDEATH of this connection, for a clean stop.
    QByteArray death(qint64 nowMs) const;
    QString deathTopic() const;
    QStringList subscriptions() const;

    // NBIRTH (seq 0) and a DBIRTH for each device whose link is up, numbered.
    QList<Message> births(qint64 nowMs, const QList<Sparkplug::Metric> &health);
    // What a link's readings give, unnumbered: a DBIRTH when its device comes
    // to life, a DDEATH when its link is lost, else DDATA of what changed.
    // While `live` is false nothing is born or dies (the births of the next
    // connection tell the state) and data is marked historical.
    QList<Message> readings(int link, const QVector<EdgeReading> &readings, bool live);
    // The next seq, into a payload about to be sent.
    QByteArray numbered(const QByteArray &payload);

    // Commands.
    bool isRebirth(const QString &topic, const QByteArray &payload) const;
    // -1 when the topic is no DCMD to one of the node's devices.
    int commandedLink(const QString &topic) const;
    const QList<Sparkplug::TagState> &tags(int link) const { return devices_.at(link).tags; }
    // The primary host's STATE topic; empty without one.
    QString stateTopic() const;

    void setTags(int link, const QList<TagFile::Tag> &tags);

private:
    struct Device
    {
        QString name;
        QList<Sparkplug::TagState> tags;
        QVector<std::optional<Sample>> published;
        bool born = false;
    };

    QString deviceTopic(Sparkplug::MessageType type, const Device &device) const;

    QString group_;
    QString node_;
    QString primaryHost_;
    QString bdSeqFile_;
    Sparkplug::BirthDeathSequence bdSeq_;
    Sparkplug::SequenceCounter seq_;
    QVector<Device> devices_;
};

#endif
