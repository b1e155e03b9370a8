// SPDX-License-Identifier: LGPL-2.1-or-later
#include "MqttClient.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QHash>
#include <QtCore/QSocketNotifier>
#include <QtCore/QTimer>

#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <vector>

namespace {

QString describe(int rc, int error)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(error));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

struct MqttClient::Private
{
    MqttClient *q;
    Options options;
    QByteArray willTopic, willPayload;
    bool willRetained = false;

    // One instance per connection: a new connection starts with nothing in
    // flight, as the caller's store expects.
    mosquitto *mosq = nullptr;
    QSocketNotifier *reader = nullptr;
    QSocketNotifier *writer = nullptr;
    QTimer keepAlive;
    QElapsedTimer connecting;
    // The caller's token of each message in flight, by its message id.
    QHash<int, quint64> tokens;
    // What libmosquitto's callbacks told, done once it has returned: a slot
    // may publish, and a lost connection is closed, neither of which can
    // happen inside its call.
    std::vector<std::function<void()>> told;

    static void onConnect(mosquitto *, void *context, int rc)
    {
        auto *d = static_cast<Private *>(context);
        if (rc == 0) {
            d->told.push_back([q = d->q] {
                q->connected_ = true;
                emit q->connected();
            });
        } else {
            const QString cause = QString::fromUtf8(mosquitto_connack_string(rc));
            d->told.push_back([q = d->q, cause] { q->drop(cause); });
        }
    }
    static void onDisconnect(mosquitto *, void *context, int rc)
    {
        auto *d = static_cast<Private *>(context);
        const QString cause = rc == MOSQ_ERR_SUCCESS ? QStringLiteral("disconnected")
                                                     : QStringLiteral("the broker went away: %1").arg(describe(rc, errno));
        d->told.push_back([q = d->q, cause] { q->drop(cause); });
    }
    static void onPublish(mosquitto *, void *context, int mid)
    {
        auto *d = static_cast<Private *>(context);
        const auto token = d->tokens.constFind(mid);
        if (token == d->tokens.constEnd())
            return;
        d->told.push_back([q = d->q, token = *token] { emit q->delivered(token); });
        d->tokens.erase(token);
    }
    static void onMessage(mosquitto *, void *context, const mosquitto_message *message)
    {
        auto *d = static_cast<Private *>(context);
        const QString topic = QString::fromUtf8(message->topic);
        const QByteArray payload(static_cast<const char *>(message->payload), message->payloadlen);
        d->told.push_back([q = d->q, topic, payload] { emit q->messageArrived(topic, payload); });
    }

    // A new instance with this connection's options; empty when the options
    // cannot be used (a TLS file that cannot be read).
    QString make()
    {
        const Options &o = options;
        mosq = mosquitto_new(o.clientId.isEmpty() ? nullptr : o.clientId.toUtf8().constData(), true, this);
        if (!mosq)
            return QStringLiteral("cannot make an MQTT client: %1").arg(describe(MOSQ_ERR_ERRNO, errno));
        mosquitto_connect_callback_set(mosq, &Private::onConnect);
        mosquitto_disconnect_callback_set(mosq, &Private::onDisconnect);
        mosquitto_publish_callback_set(mosq, &Private::onPublish);
        mosquitto_message_callback_set(mosq, &Private::onMessage);
        // The caller's window bounds what is in flight.
        mosquitto_max_inflight_messages_set(mosq, 0);
        mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1);
        if (!o.user.isEmpty())
            mosquitto_username_pw_set(mosq, o.user.toUtf8().constData(), o.password.toUtf8().constData());
        if (!o.caFile.isEmpty()) {
            // The broker's certificate must name the host connected to, as
            // libmosquitto checks by default. A key may sit in the
            // certificate's file.
            const QByteArray cert = o.certFile.toUtf8();
            const QByteArray key = o.keyFile.isEmpty() ? cert : o.keyFile.toUtf8();
            const int rc = mosquitto_tls_set(mosq, o.caFile.toUtf8().constData(), nullptr,
                                             cert.isEmpty() ? nullptr : cert.constData(),
                                             cert.isEmpty() ? nullptr : key.constData(), nullptr);
            if (rc != MOSQ_ERR_SUCCESS)
                return QStringLiteral("cannot use the TLS files (%1, %2, %3): %4")
                    .arg(o.caFile, o.certFile, o.keyFile, describe(rc, errno));
        }
        if (!willTopic.isEmpty())
            mosquitto_will_set(mosq, willTopic.constData(), willPayload.size(), willPayload.constData(), 1,
                               willRetained);
        return QString();
    }

    void close()
    {
        delete reader;
        delete writer;
        reader = writer = nullptr;
        keepAlive.stop();
        if (mosq)
            mosquitto_destroy(mosq);
        mosq = nullptr;
        tokens.clear();
        told.clear();
    }
};

MqttClient::MqttClient(const Options &options, QObject *parent) : QObject(parent), d(new Private)
{
    d->q = this;
    d->options = options;
    d->keepAlive.setInterval(1000);
    connect(&d->keepAlive, &QTimer::timeout, this, &MqttClient::serve);
}

MqttClient::~MqttClient()
{
    if (d->mosq && connected_) {
        // What was handed over goes out first: up to a second for the
        // broker's confirmations, then the disconnect.
        QElapsedTimer waited;
        waited.start();
        while (!d->tokens.isEmpty() && waited.elapsed() < 1000 && mosquitto_loop(d->mosq, 50, 1) == MOSQ_ERR_SUCCESS) {
        }
        if (mosquitto_disconnect(d->mosq) == MOSQ_ERR_SUCCESS) {
            while (mosquitto_want_write(d->mosq) && waited.elapsed() < 2000
                   && mosquitto_loop(d->mosq, 50, 1) == MOSQ_ERR_SUCCESS) {
            }
        }
    }
    d->close();
    delete d;
}

bool MqttClient::start()
{
    static const bool initialised = mosquitto_lib_init() == MOSQ_ERR_SUCCESS;
    if (!initialised) {
        error_ = QStringLiteral("cannot initialise libmosquitto");
        return false;
    }
    const Options &o = d->options;
    if (!o.willTopic.isEmpty())
        setWill(o.willTopic, o.willPayload, true); // the node's status stays for later subscribers
    // Options that can never work are told now, not retried.
    error_ = d->make();
    d->close();
    if (!error_.isEmpty())
        return false;
    if (o.host.isEmpty() || o.port < 1 || o.port > 65535) {
        error_ = QStringLiteral("no broker at %1:%2").arg(o.host).arg(o.port);
        return false;
    }
    connectNow();
    return true;
}

void MqttClient::setWill(const QString &topic, const QByteArray &payload, bool retained)
{
    d->willTopic = topic.toUtf8();
    d->willPayload = payload;
    d->willRetained = retained;
}

// The client connects again itself, so that each connection can carry its
// own will.
void MqttClient::connectNow()
{
    if (connected_ || d->mosq)
        return;
    emit aboutToConnect();
    QString problem = d->make();
    if (problem.isEmpty()) {
        const int rc = mosquitto_connect_async(d->mosq, d->options.host.toUtf8().constData(), d->options.port,
                                               keepAliveS);
        if (rc != MOSQ_ERR_SUCCESS && rc != MOSQ_ERR_CONN_PENDING)
            problem = describe(rc, errno);
    }
    const int fd = d->mosq ? mosquitto_socket(d->mosq) : -1;
    if (problem.isEmpty() && fd < 0)
        problem = QStringLiteral("no socket");
    if (!problem.isEmpty()) {
        d->close();
        emit connectionLost(problem);
        retryLater();
        return;
    }
    d->connecting.start();
    d->reader = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    d->writer = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    connect(d->reader, &QSocketNotifier::activated, this, &MqttClient::serve);
    connect(d->writer, &QSocketNotifier::activated, this, &MqttClient::serve);
    d->keepAlive.start();
    watchWrites();
}

// Reads what came, writes what waits and keeps the connection alive: called
// whenever the socket is ready, and every second.
void MqttClient::serve()
{
    if (!d->mosq)
        return;
    const int rc = mosquitto_loop(d->mosq, 0, 1);
    const int error = errno;
    std::vector<std::function<void()>> told;
    told.swap(d->told);
    for (const auto &step : told)
        step();
    if (!d->mosq)
        return; // told of a loss
    if (rc != MOSQ_ERR_SUCCESS)
        drop(QStringLiteral("the broker went away: %1").arg(describe(rc, error)));
    else if (!connected_ && d->connecting.elapsed() > connectTimeoutMs)
        drop(QStringLiteral("the broker does not answer"));
    else
        watchWrites();
}

void MqttClient::watchWrites()
{
    if (d->writer)
        d->writer->setEnabled(mosquitto_want_write(d->mosq));
}

void MqttClient::drop(const QString &cause)
{
    if (!d->mosq)
        return;
    d->close();
    connected_ = false;
    emit connectionLost(cause);
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
    if (!d->mosq || !connected_)
        return false;
    int mid = 0;
    const int rc = mosquitto_publish(d->mosq, &mid, topic.toUtf8().constData(), payload.size(), payload.constData(),
                                     1, retained);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A lost connection is closed on the next turn of the loop.
        QTimer::singleShot(0, this, &MqttClient::serve);
        return false;
    }
    d->tokens.insert(mid, token);
    watchWrites();
    return true;
}

bool MqttClient::subscribe(const QString &filter)
{
    if (!d->mosq)
        return false;
    const bool taken = mosquitto_subscribe(d->mosq, nullptr, filter.toUtf8().constData(), 1) == MOSQ_ERR_SUCCESS;
    watchWrites();
    return taken;
}
