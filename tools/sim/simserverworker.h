// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSERVERWORKER_H
#define SIMSERVERWORKER_H

// The inside of SimServer, shared by its source files only.

#include "simserver.h"

#include "simgateway.h"
#include "simhost.h"
#include "simplc.h"
#include "simptychannel.h"
#include "simscript.h"
#include "simsession.h"
#include "simtcpchannel.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QThread>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpServer>

#include <mutex>

// Owns the link and the sessions; lives in the serving thread, and all its
// functions run there.
class SimServerWorker : public QObject
{
public:
    using Listener = std::function<void(const SimLogEntry &)>;

    SimServerWorker(std::mutex *mutex, SimPlc *plc, const Listener *listener, const QElapsedTimer *clock)
        : mutex(mutex), plc(plc), listener(listener), clock(clock)
    {
        ticker.setInterval(SimGeneratorRecipe::scanMs);
        connect(&ticker, &QTimer::timeout, this, [this] {
            std::lock_guard<std::mutex> lock(*this->mutex);
            this->plc->runGenerators(this->clock->elapsed());
            if (this->plc->generators().isEmpty())
                ticker.stop();
        });
    }

    // Generators run while there are any.
    void startTicking()
    {
        if (!ticker.isActive())
            ticker.start();
    }

    // A timer is stopped in its own thread, before the thread ends.
    void stopTicking() { ticker.stop(); }

    // Logs an entry and tells the listener, outside the lock.
    void log(const SimLogEntry &change)
    {
        SimLogEntry entry;
        {
            std::lock_guard<std::mutex> lock(*mutex);
            plc->logChange(change);
            entry = plc->lastEntry();
        }
        if (*listener)
            (*listener)(entry);
    }

    QString startTcp(const QHostAddress &address, quint16 port, bool behindGateway)
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

    QString startPty(const SimSerialSettings *expected)
    {
        QString error;
        SimPtyChannel *pty = SimPtyChannel::open(&error);
        if (!pty)
            return error;
        if (expected) {
            pty->expectSettings(*expected);
            connect(pty, &SimPtyChannel::ignoredBytes, this, [this](const QString &line, const QString &plcLine) {
                SimLogEntry entry;
                {
                    std::lock_guard<std::mutex> lock(*mutex);
                    plc->logIgnored(QStringLiteral("ignored: the line is set to %1, the PLC to %2").arg(line, plcLine));
                    entry = plc->lastEntry();
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

    QString startSerial(const SimSerialSettings &settings)
    {
        QString error;
        SimSerialChannel *serial = SimSerialChannel::open(settings, &error);
        if (!serial)
            return error;
        listening = QStringLiteral("serial ") + settings.device;
        serve(serial);
        return QString();
    }

    void stop()
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

    void closeConnections()
    {
        // Closing a session removes it from the list; work on a copy.
        const QList<SimSession *> open = sessions;
        for (SimSession *session : open)
            session->close();
    }

    void push(const QByteArray &bytes)
    {
        for (SimSession *session : qAsConst(sessions))
            session->push(bytes);
    }

    bool ptyLineSettings(termios *settings) const
    {
        for (SimSession *session : sessions) {
            if (auto *pty = qobject_cast<SimPtyChannel *>(session->channel()))
                return pty->lineSettings(settings);
        }
        return false;
    }

    bool isRunning() const { return !listening.isEmpty(); }
    quint16 port() const { return tcp ? tcp->serverPort() : 0; }
    int tcpConnections() const { return tcp ? sessions.size() : 0; }

    QString listening;
    QString ptyPath;
    SimScript *script = nullptr;
    SimServer::Capture capture;         // set while no link serves

private:
    // The PLC's reply to a frame, or the script's.
    SimReply answer(const QByteArray &frame)
    {
        QList<SimLogEntry> added;
        auto engine = [&] {
            std::lock_guard<std::mutex> lock(*mutex);
            const qint64 before = plc->lastSequence();
            const SimReply reply = plc->handle(frame);
            if (*listener)
                added = plc->entriesSince(before);
            return reply;
        };
        const SimReply reply = script ? script->reply(frame, engine) : engine();
        // Outside the lock: the listener may take its own.
        for (const SimLogEntry &entry : qAsConst(added))
            (*listener)(entry);
        return reply;
    }

    void serve(SimChannel *channel)
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

    std::mutex *mutex;
    SimPlc *plc;
    const Listener *listener;
    const QElapsedTimer *clock;
    QTimer ticker{this};
    QTcpServer *tcp = nullptr;
    SimGateway *gateway = nullptr;      // TCP behind a gateway only
    QList<SimSession *> sessions;
    int connections = 0;                // sessions served, for the capture
};

struct SimServer::Private {
    explicit Private(int station) : plc(station) {}

    // Runs `work` in the serving thread and waits for it.
    template <typename Work>
    void inThread(Work work)
    {
        if (QThread::currentThread() == &thread)
            work();
        else
            QMetaObject::invokeMethod(worker, work, Qt::BlockingQueuedConnection);
    }

    // Runs `work` on the PLC under the lock, then tells the listener of
    // every entry it logged; false when `work` is.
    template <typename Work>
    bool logged(Work work)
    {
        QList<SimLogEntry> added;
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            const qint64 before = plc.lastSequence();
            done = work();
            added = plc.entriesSince(before);
        }
        if (listener) {
            for (const SimLogEntry &entry : qAsConst(added))
                listener(entry);
        }
        return done;
    }

    // Opens a link in the serving thread unless one is open; `open` gives
    // the error, empty on success.
    template <typename Open>
    bool start(Open open)
    {
        inThread([&] {
            error = worker->isRunning() ? QStringLiteral("the simulator already serves a link") : open();
        });
        return error.isEmpty();
    }

    std::mutex mutex;       // guards plc
    SimPlc plc;
    QThread thread;
    SimServerWorker *worker = nullptr;
    QElapsedTimer clock;    // the generators' time
    QString error;          // touched by the owner's calls only
    std::function<void(const SimLogEntry &)> listener;   // set while no link serves
};

#endif
