// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSERVERWORKER_H
#define SIMSERVERWORKER_H

// The inside of SimServer, shared by its source files only; the serving
// thread's worker is implemented in simserverworker.cpp.

#include "simserver.h"

#include "simgateway.h"
#include "simline.h"
#include "simscript.h"
#include "simsession.h"

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

    SimServerWorker(std::mutex *mutex, SimLine *line, const Listener *listener, const QElapsedTimer *clock);

    // Generators run while there are any.
    void startTicking();

    // A timer is stopped in its own thread, before the thread ends.
    void stopTicking() { ticker.stop(); }

    // Logs an entry and tells the listener, outside the lock.
    void log(const SimLogEntry &change);

    QString startTcp(const QHostAddress &address, quint16 port, bool behindGateway);
    QString startPty(const SimSerialSettings *expected);
    QString startSerial(const SimSerialSettings &settings);
    void stop();
    void closeConnections();
    void push(const QByteArray &bytes);
    bool ptyLineSettings(termios *settings) const;

    bool isRunning() const { return !listening.isEmpty(); }
    quint16 port() const { return tcp ? tcp->serverPort() : 0; }
    int tcpConnections() const { return tcp ? sessions.size() : 0; }

    QString listening;
    QString ptyPath;
    SimScript *script = nullptr;
    SimServer::Capture capture;         // set while no link serves

private:
    // The PLC's reply to a frame, or the script's.
    SimReply answer(const QByteArray &frame);
    void serve(SimChannel *channel);

    std::mutex *mutex;
    SimLine *line;
    const Listener *listener;
    const QElapsedTimer *clock;
    QTimer ticker{this};
    QTcpServer *tcp = nullptr;
    SimGateway *gateway = nullptr;      // TCP behind a gateway only
    QList<SimSession *> sessions;
    int connections = 0;                // sessions served, for the capture
};

struct SimServer::Private {
    explicit Private(int station) : line(station) {}

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
            const qint64 before = line.lastSequence();
            done = work();
            added = line.entriesSince(before);
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

    std::mutex mutex;       // guards line
    SimLine line;
    QThread thread;
    SimServerWorker *worker = nullptr;
    QElapsedTimer clock;    // the generators' time
    QString error;          // touched by the owner's calls only
    std::function<void(const SimLogEntry &)> listener;   // set while no link serves
};

#endif
