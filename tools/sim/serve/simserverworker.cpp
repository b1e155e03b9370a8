// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simserverworker.h"

#include "simhost.h"
#include "simptychannel.h"
#include "simtcpchannel.h"

SimServerWorker::SimServerWorker(std::mutex *mutex, SimLine *line, const Listener *listener, const QElapsedTimer *clock)
    : mutex(mutex), line(line), listener(listener), clock(clock)
{
    ticker.setInterval(SimGeneratorRecipe::scanMs);
    connect(&ticker, &QTimer::timeout, this, [this] {
        std::lock_guard<std::mutex> lock(*this->mutex);
        this->line->runGenerators(this->clock->elapsed());
        if (this->line->generators().isEmpty())
            ticker.stop();
    });
}

void SimServerWorker::startTicking()
{
    if (!ticker.isActive())
        ticker.start();
}

void SimServerWorker::log(const SimLogEntry &change)
{
    SimLogEntry entry;
    {
        std::lock_guard<std::mutex> lock(*mutex);
        line->logChange(change);
        entry = line->lastEntry();
    }
    if (*listener)
        (*listener)(entry);
}

QString SimServerWorker::startTcp(const QHostAddress &address, quint16 port, bool behindGateway)
{
    tcp = new QTcpServer(this);
    if (!tcp->listen(address, port)) {
        const QString error = QStringLiteral("cannot listen on %1:%2: %3")
                .arg(simHostText(address)).arg(port).arg(tcp->errorString());
        delete tcp;
        tcp = nullptr;
        return error;
    }
    if (behindGateway)
        gateway = new SimGateway([this](const QByteArray &frame) { return answer(frame); }, this);
    connect(tcp, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *socket = tcp->nextPendingConnection())
            serve(new SimTcpChannel(socket));
    });
    listening = QStringLiteral("tcp %1:%2").arg(simHostText(tcp->serverAddress())).arg(tcp->serverPort());
    return QString();
}

QString SimServerWorker::startPty(const SimSerialSettings *expected)
{
    QString error;
    SimPtyChannel *pty = SimPtyChannel::open(&error);
    if (!pty)
        return error;
    if (expected) {
        pty->expectSettings(*expected);
        connect(pty, &SimPtyChannel::ignoredBytes, this, [this](const QString &lineSettings, const QString &plcSettings) {
            SimLogEntry entry;
            {
                std::lock_guard<std::mutex> lock(*mutex);
                line->logIgnored(QStringLiteral("ignored: the line is set to %1, the PLC to %2").arg(lineSettings, plcSettings));
                entry = line->lastEntry();
            }
            if (*listener)
                (*listener)(entry);
        });
    }
    ptyPath = pty->slavePath();
    listening = QStringLiteral("pty ") + ptyPath;
    serve(pty);
    return QString();
}

QString SimServerWorker::startSerial(const SimSerialSettings &settings)
{
    QString error;
    SimSerialChannel *serial = SimSerialChannel::open(settings, &error);
    if (!serial)
        return error;
    listening = QStringLiteral("serial ") + settings.device;
    serve(serial);
    return QString();
}

void SimServerWorker::stop()
{
    delete gateway;
    gateway = nullptr;
    delete tcp;
    tcp = nullptr;
    for (SimSession *session : qAsConst(sessions)) {
        disconnect(session, nullptr, this, nullptr);
        delete session;
    }
    sessions.clear();
    listening.clear();
    ptyPath.clear();
}

void SimServerWorker::closeConnections()
{
    // Closing a session removes it from the list; work on a copy.
    const QList<SimSession *> open = sessions;
    for (SimSession *session : open)
        session->close();
}

void SimServerWorker::push(const QByteArray &bytes)
{
    for (SimSession *session : qAsConst(sessions))
        session->push(bytes);
}

bool SimServerWorker::ptyLineSettings(termios *settings) const
{
    for (SimSession *session : sessions) {
        if (auto *pty = qobject_cast<SimPtyChannel *>(session->channel()))
            return pty->lineSettings(settings);
    }
    return false;
}

SimReply SimServerWorker::answer(const QByteArray &frame)
{
    QList<SimLogEntry> added;
    auto engine = [&] {
        std::lock_guard<std::mutex> lock(*mutex);
        const qint64 before = line->lastSequence();
        const SimReply reply = line->handle(frame);
        if (*listener)
            added = line->entriesSince(before);
        return reply;
    };
    const SimReply reply = script ? script->reply(frame, engine) : engine();
    // Outside the lock: the listener may take its own.
    for (const SimLogEntry &entry : qAsConst(added))
        (*listener)(entry);
    return reply;
}

void SimServerWorker::serve(SimChannel *channel)
{
    SimSession::Handler handler;
    if (!gateway)
        handler = [this](const QByteArray &frame) { return answer(frame); };
    // What each connection carries, under its own number; a request is
    // recorded before the session answers it.
    const int connection = ++connections;
    if (capture) {
        connect(channel, &SimChannel::received, this, [this, connection](const QByteArray &bytes) {
            capture(connection, false, bytes);
        });
    }
    auto *session = new SimSession(channel, handler, this);
    sessions.append(session);
    if (capture) {
        connect(session, &SimSession::sent, this, [this, connection](const QByteArray &bytes) {
            capture(connection, true, bytes);
        });
    }
    if (gateway)
        gateway->attach(session);
    if (SimScript *watcher = script) {
        watcher->noteConnection();
        connect(session, &SimSession::answerSent, this, [watcher] { watcher->noteAnswerSent(); });
        connect(session, &SimSession::noise, this, [watcher](const QByteArray &bytes) {
            watcher->noteNoise(bytes);
        });
    }
    const QString peer = channel->peerName();
    if (!peer.isEmpty())
        log(SimLogEntry::change(QStringLiteral("link"), -1, QStringLiteral("connection opened"), QString(), peer));
    connect(session, &SimSession::closed, this, [this, peer](SimSession *closed) {
        sessions.removeOne(closed);
        closed->deleteLater();
        if (!peer.isEmpty())
            log(SimLogEntry::change(QStringLiteral("link"), -1, QStringLiteral("connection closed"), QString(), peer));
    });
}
