// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMGATEWAY_H
#define SIMGATEWAY_H

#include "simsession.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QPointer>
#include <QtCore/QTimer>

// A serial PLC behind a serial-to-Ethernet gateway: the TCP connections
// share one line. Their requests are answered one at a time in the order
// they arrived, each once the answer before it has gone out whole (late,
// in pieces or twice, as its faults say). Each write of an answer goes to
// the connection that asked while it is open, else to the newest one, as a
// gateway forwards whatever the line says to whoever is connected; with no
// connection open it is lost. A close fault closes the connection the
// answer would have gone to.
class SimGateway : public QObject
{
    Q_OBJECT
public:
    explicit SimGateway(SimSession::Handler handler, QObject *parent = nullptr);

    // Serves the requests of a session made without a handler.
    void attach(SimSession *session);

private:
    struct Request {
        QPointer<SimSession> from;
        QByteArray frame;
    };
    struct Write {
        qint64 dueMs;
        QByteArray bytes;
        bool endsAnswer;
    };

    void enqueue(SimSession *from, const QByteArray &frame);
    void advance();
    void serve(const Request &request);
    SimSession *target() const;

    SimSession::Handler handler;
    QList<SimSession *> connections;   // oldest first
    QList<Request> queue;
    QList<Write> writes;               // of the answer on the line
    QPointer<SimSession> answerFor;
    QTimer timer;
    QElapsedTimer clock;
};

#endif
