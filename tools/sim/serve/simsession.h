// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSESSION_H
#define SIMSESSION_H

#include "simframereader.h"
#include "simline.h"

#include <QtCore/QElapsedTimer>
#include <QtCore/QList>
#include <QtCore/QObject>
#include <QtCore/QTimer>

#include <functional>

class SimChannel;

// Serves one channel: cuts its bytes into frames, asks the PLC for each
// reply and sends the answers, late or in pieces when a fault says so.
// Answers leave in the order of their requests, whatever their delays.
// Without a handler it only cuts frames and emits them as `request`, for
// SimGateway to answer.
class SimSession : public QObject
{
    Q_OBJECT
public:
    using Handler = std::function<SimReply(const QByteArray &frame)>;

    // Takes the channel over.
    SimSession(SimChannel *channel, Handler handler, QObject *parent = nullptr);

    SimChannel *channel() const { return link; }

    // Ends the connection (TCP); no-op on lines that cannot be closed.
    void close();

    // Sends bytes no request asked for, after the answers already waiting.
    void push(const QByteArray &bytes) { send(bytes, false); }
    // Sends bytes after those already waiting; `endsAnswer` when they end an
    // answer (answerSent follows once they are out).
    void send(const QByteArray &bytes, bool endsAnswer);

signals:
    void closed(SimSession *session);
    // The last byte of an answer has been handed to the channel.
    void answerSent();
    // Bytes handed to the channel, as they went (a capture's record).
    void sent(const QByteArray &bytes);
    // Bytes received outside any frame, or a frame given up unfinished.
    void noise(const QByteArray &bytes);
    // A request frame, from a session without a handler.
    void request(SimSession *session, const QByteArray &frame);

private:
    void receive(const QByteArray &bytes);
    void schedule(const SimReply &reply);
    void sendDue();
    void onChannelClosed();

    struct Pending {
        qint64 dueMs;
        QByteArray bytes;
        bool endsAnswer;
    };
    void enqueue(qint64 dueMs, const QByteArray &bytes, bool endsAnswer);

    SimChannel *link;
    Handler handler;
    SimFrameReader reader;
    QList<Pending> outbox;
    QTimer outboxTimer;
    QElapsedTimer clock;
    bool ended = false;
};

#endif
