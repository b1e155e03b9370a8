// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_MQTTCLIENT_H
#define NORVO_EDGE_MQTTCLIENT_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>

// The broker as Qt signals, through Debian's libmosquitto driven by this
// object's event loop: no thread of its own, so that a publication and its
// confirmation wake no other thread.
class MqttClient : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString host = QStringLiteral("127.0.0.1");
        int port = 1883;
        QString clientId;
        QString user;
        QString password;
        QString caFile;   // TLS when set
        QString certFile; // client certificate and key, optional
        QString keyFile;
        QString willTopic;   // retained, QoS 1
        QByteArray willPayload;
    };

    explicit MqttClient(const Options &options, QObject *parent = nullptr);
    ~MqttClient() override;

    // Connects, and connects again whenever the link is lost or a connect
    // fails, a second later; aboutToConnect() comes before each attempt, so
    // that the will can change from one connection to the next.
    // False when the client cannot be made (a bad address, a TLS file
    // libmosquitto refuses).
    bool start();
    // The will of the next connection (QoS 1).
    void setWill(const QString &topic, const QByteArray &payload, bool retained);
    bool isConnected() const { return connected_; }

    // QoS 1. True when the client took the message; delivered(token)
    // follows once the broker has it. Nothing is queued while disconnected:
    // the caller's store keeps the messages.
    bool publish(quint64 token, const QString &topic, const QByteArray &payload, bool retained);
    bool subscribe(const QString &filter);

    QString errorString() const { return error_; }

signals:
    void aboutToConnect();
    void connected();
    void connectionLost(const QString &cause);
    void delivered(quint64 token);
    void messageArrived(const QString &topic, const QByteArray &payload);

private:
    void connectNow();
    void retryLater();
    void serve();
    void drop(const QString &cause);
    void watchWrites();

    struct Private;
    Private *d;
    bool connected_ = false;
    bool retrying_ = false;
    QString error_;
    static constexpr int retryMs = 1000;
    static constexpr int keepAliveS = 10;
    static constexpr int connectTimeoutMs = 30000;
};

#endif
