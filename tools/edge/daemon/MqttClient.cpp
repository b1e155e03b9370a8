// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MqttClient.h"

#include <QtCore/QMetaObject>
#include <QtCore/QTimer>
#include <QtCore/QVector>

#include <MQTTAsync.h>

#include <chrono>
#include <future>
#include <mutex>

struct MqttClient::Private
{
    MqttClient *q;
    Options options;
    MQTTAsync client = nullptr;
    // Paho keeps pointers into these while it connects.
    QByteArray uri, clientId, user, password, ca, cert, key, willTopic, willPayload;
    MQTTAsync_willOptions will = MQTTAsync_willOptions_initializer;
    MQTTAsync_SSLOptions ssl = MQTTAsync_SSLOptions_initializer;
    MQTTAsync_connectOptions connect = MQTTAsync_connectOptions_initializer;

    // Each in-flight publication's token, handed to Paho as its context.
    struct Sent
    {
        Private *d;
        quint64 token;
    };

    static void onConnected(void *context, MQTTAsync_successData *)
    {
        auto *d = static_cast<Private *>(context);
        QMetaObject::invokeMethod(d->q, [q = d->q] {
            q->connected_ = true;
            emit q->connected();
        }, Qt::QueuedConnection);
    }
    static void onConnectFailure(void *context, MQTTAsync_failureData *response)
    {
        auto *d = static_cast<Private *>(context);
        const QString cause = response && response->message ? QString::fromUtf8(response->message)
                                                             : QStringLiteral("the broker cannot be reached");
        QMetaObject::invokeMethod(d->q, [q = d->q, cause] {
            emit q->connectionLost(cause);
            q->retryLater();
        }, Qt::QueuedConnection);
    }
    static void onConnectionLost(void *context, char *cause)
    {
        auto *d = static_cast<Private *>(context);
        const QString text = cause ? QString::fromUtf8(cause) : QStringLiteral("the broker went away");
        QMetaObject::invokeMethod(d->q, [d, q = d->q, text] {
            q->connected_ = false;
            d->deliverConfirmed(); // before the caller sends the rest again
            emit q->connectionLost(text);
            q->retryLater();
        }, Qt::QueuedConnection);
    }
    static int onMessage(void *context, char *topic, int topicLength, MQTTAsync_message *message)
    {
        auto *d = static_cast<Private *>(context);
        const QString name = topicLength > 0 ? QString::fromUtf8(topic, topicLength) : QString::fromUtf8(topic);
        const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
        MQTTAsync_freeMessage(&message);
        MQTTAsync_free(topic);
        QMetaObject::invokeMethod(d->q, [q = d->q, name, payload] { emit q->messageArrived(name, payload); },
                                  Qt::QueuedConnection);
        return 1;
    }
    // Confirmations come one by one on Paho's thread. They only free the
    // caller's store, so the client's thread takes them when it is awake
    // anyway (takeConfirmations()), and is woken for them once a batch is in.
    static constexpr int confirmBatch = 16;
    std::mutex confirmedLock;
    QVector<quint64> confirmed;

    static void onSent(void *context, MQTTAsync_successData *)
    {
        auto *sent = static_cast<Sent *>(context);
        Private *d = sent->d;
        bool batchIn;
        {
            std::lock_guard<std::mutex> hold(d->confirmedLock);
            d->confirmed.append(sent->token);
            batchIn = d->confirmed.size() == confirmBatch;
        }
        delete sent;
        if (batchIn)
            QMetaObject::invokeMethod(d->q, [d] { d->deliverConfirmed(); }, Qt::QueuedConnection);
    }
    void deliverConfirmed()
    {
        QVector<quint64> tokens;
        {
            std::lock_guard<std::mutex> hold(confirmedLock);
            tokens.swap(confirmed);
        }
        for (quint64 token : qAsConst(tokens))
            emit q->delivered(token);
    }
    static void onSendFailure(void *context, MQTTAsync_failureData *)
    {
        // Not delivered: the store offers it again after the reconnect.
        delete static_cast<Sent *>(context);
    }
};

MqttClient::MqttClient(const Options &options, QObject *parent) : QObject(parent), d(new Private)
{
    d->q = this;
    d->options = options;
}

MqttClient::~MqttClient()
{
    if (d->client) {
        // What was handed to Paho goes out first: the disconnect waits for it
        // (up to a second), and the client is destroyed only then.
        std::promise<void> done;
        MQTTAsync_disconnectOptions disconnect = MQTTAsync_disconnectOptions_initializer;
        disconnect.timeout = 1000;
        disconnect.context = &done;
        disconnect.onSuccess = [](void *context, MQTTAsync_successData *) {
            static_cast<std::promise<void> *>(context)->set_value();
        };
        disconnect.onFailure = [](void *context, MQTTAsync_failureData *) {
            static_cast<std::promise<void> *>(context)->set_value();
        };
        if (MQTTAsync_disconnect(d->client, &disconnect) == MQTTASYNC_SUCCESS)
            done.get_future().wait_for(std::chrono::seconds(3));
        MQTTAsync_destroy(&d->client);
    }
    delete d;
}

bool MqttClient::start()
{
    const Options &o = d->options;
    const bool tls = !o.caFile.isEmpty();
    d->uri = QStringLiteral("%1://%2:%3").arg(tls ? QStringLiteral("ssl") : QStringLiteral("tcp"), o.host)
                 .arg(o.port).toUtf8();
    d->clientId = o.clientId.toUtf8();
    // Paho formats every packet into its trace, with the local time, unless
    // told to keep only errors; its own variable still turns tracing on.
    if (qEnvironmentVariableIsEmpty("MQTT_C_CLIENT_TRACE"))
        MQTTAsync_setTraceLevel(MQTTASYNC_TRACE_ERROR);
    MQTTAsync_createOptions create = MQTTAsync_createOptions_initializer;
    if (MQTTAsync_createWithOptions(&d->client, d->uri.constData(), d->clientId.constData(),
                                    MQTTCLIENT_PERSISTENCE_NONE, nullptr, &create) != MQTTASYNC_SUCCESS) {
        error_ = QStringLiteral("cannot make an MQTT client for %1").arg(QString::fromUtf8(d->uri));
        d->client = nullptr;
        return false;
    }
    MQTTAsync_setCallbacks(d->client, d, &Private::onConnectionLost, &Private::onMessage, nullptr);

    // The client connects again itself (not Paho), so that each connection
    // can carry its own will.
    MQTTAsync_connectOptions &c = d->connect;
    c.keepAliveInterval = 10;
    c.cleansession = 1;
    c.automaticReconnect = 0;
    c.context = d;
    c.onSuccess = &Private::onConnected;
    c.onFailure = &Private::onConnectFailure;
    // The node's status stays on its topic for whoever subscribes later.
    if (!o.willTopic.isEmpty())
        setWill(o.willTopic, o.willPayload, true);
    if (!o.user.isEmpty()) {
        d->user = o.user.toUtf8();
        d->password = o.password.toUtf8();
        c.username = d->user.constData();
        c.password = d->password.constData();
    }
    if (tls) {
        d->ca = o.caFile.toUtf8();
        d->ssl.trustStore = d->ca.constData();
        // The broker's certificate must name the host connected to.
        d->ssl.verify = 1;
        if (!o.certFile.isEmpty()) {
            d->cert = o.certFile.toUtf8();
            d->key = o.keyFile.toUtf8();
            d->ssl.keyStore = d->cert.constData();
            d->ssl.privateKey = d->key.isEmpty() ? nullptr : d->key.constData();
        }
        c.ssl = &d->ssl;
    }
    connectNow();
    return true;
}

void MqttClient::setWill(const QString &topic, const QByteArray &payload, bool retained)
{
    d->willTopic = topic.toUtf8();
    d->willPayload = payload;
    d->will.topicName = d->willTopic.constData();
    d->will.payload.data = d->willPayload.constData();
    d->will.payload.len = d->willPayload.size();
    d->will.message = nullptr;
    d->will.retained = retained ? 1 : 0;
    d->will.qos = 1;
    d->connect.will = &d->will;
}

void MqttClient::connectNow()
{
    if (!d->client || connected_)
        return;
    emit aboutToConnect();
    if (MQTTAsync_connect(d->client, &d->connect) != MQTTASYNC_SUCCESS)
        retryLater();
}

void MqttClient::retryLater()
{
    if (!retrying_) {
        retrying_ = true;
        QTimer::singleShot(retryMs, this, [this] {
            retrying_ = false;
            connectNow();
        });
    }
}

bool MqttClient::publish(quint64 token, const QString &topic, const QByteArray &payload, bool retained)
{
    if (!d->client || !connected_)
        return false;
    MQTTAsync_message message = MQTTAsync_message_initializer;
    message.payload = const_cast<char *>(payload.constData());
    message.payloadlen = payload.size();
    message.qos = 1;
    message.retained = retained ? 1 : 0;
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    auto *sent = new Private::Sent{d, token};
    response.context = sent;
    response.onSuccess = &Private::onSent;
    response.onFailure = &Private::onSendFailure;
    const QByteArray name = topic.toUtf8();
    if (MQTTAsync_sendMessage(d->client, name.constData(), &message, &response) != MQTTASYNC_SUCCESS) {
        delete sent;
        return false;
    }
    return true;
}

void MqttClient::takeConfirmations()
{
    d->deliverConfirmed();
}

bool MqttClient::subscribe(const QString &filter)
{
    if (!d->client)
        return false;
    MQTTAsync_responseOptions response = MQTTAsync_responseOptions_initializer;
    return MQTTAsync_subscribe(d->client, filter.toUtf8().constData(), 1, &response) == MQTTASYNC_SUCCESS;
}
