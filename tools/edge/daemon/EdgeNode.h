// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_EDGENODE_H
#define NORVO_EDGE_EDGENODE_H

#include "EdgeConfig.h"
#include "EdgeLink.h"
#include "MqttClient.h"
#include "sample.h"
#include "samplestore.h"

#include <QtCore/QObject>

#include <memory>
#include <optional>

class PluginLoader;
class SparkplugSession;
class QThread;

// The node: its links, each on its own thread, and the broker. Samples go
// by exception into the store, and from the store to the broker in order,
// as fast as it confirms them; while the broker is away they wait there.
class EdgeNode : public QObject
{
    Q_OBJECT

public:
    EdgeNode(const EdgeConfig &config, const PluginLoader &loader);
    ~EdgeNode() override;

    // False with the reason when the store or the client cannot start.
    bool start(QString *error);
    // Tells the broker the node goes offline, then stops the links.
    void stop();
    // The tag files again (SIGHUP); a refused file changes nothing.
    QString reloadTags();

private:
    struct TagState
    {
        std::optional<Sample> last;
        qint64 seq = 0;
    };
    struct Link
    {
        EdgeLink *worker = nullptr;
        QThread *thread = nullptr;
        QVector<TagState> states;
    };

    QString topic(const QString &level) const;
    void onReadings(int link, const QVector<EdgeReading> &readings);
    void onWritten(int link, quint64 request, int tag, int status, const QString &reason,
                   const QDateTime &time);
    void onMessage(const QString &topic, const QByteArray &payload);
    void onSparkplugMessage(const QString &topic, const QByteArray &payload);
    // Empty when the write went to the link, else why it was refused.
    QString startWrite(int link, int tag, const QJsonArray &values, const QJsonValue &asSent);
    // Connected, and the primary host (if any) online: what is sent now is live.
    bool live() const;
    void publishBirths();
    void onConnected();
    void onConnectionLost(const QString &cause);
    void onDelivered(quint64 token);
    void setResult(int link, int tag, QJsonObject result);
    void append(const QString &topic, const QByteArray &payload, bool retained);
    void pump();
    void reportStore();
    QString sequenceFile() const;
    void loadSequences();
    void saveSequences() const;

    EdgeConfig config_;
    const PluginLoader &loader_;
    SampleStore store_;
    MqttClient client_;
    QVector<Link> links_;
    int inFlight_ = 0;
    quint64 droppedReported_ = 0;
    // Writes waiting for their link, by request.
    QHash<quint64, QJsonValue> writes_;
    quint64 nextWrite_ = 0;
    std::unique_ptr<SparkplugSession> sparkplug_;
    bool primaryOnline_ = false;
};

#endif
