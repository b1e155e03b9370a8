// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simgateway.h"

SimGateway::SimGateway(SimSession::Handler handler, QObject *parent)
    : QObject(parent), handler(std::move(handler))
{
    clock.start();
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, this, &SimGateway::advance);
}

void SimGateway::attach(SimSession *session)
{
    connections.append(session);
    connect(session, &SimSession::request, this, &SimGateway::enqueue);
    connect(session, &SimSession::closed, this, [this](SimSession *closed) { connections.removeOne(closed); });
}

void SimGateway::enqueue(SimSession *from, const QByteArray &frame)
{
    queue.append({from, frame});
    // Served from the event loop, never inside the session's own read: a
    // close fault may end that session while it still cuts frames.
    if (writes.isEmpty() && !timer.isActive())
        timer.start(0);
}

void SimGateway::advance()
{
    while (true) {
        const qint64 now = clock.elapsed();
        while (!writes.isEmpty() && writes.first().dueMs <= now) {
            const Write write = writes.takeFirst();
            if (SimSession *to = target())
                to->send(write.bytes, write.endsAnswer);
        }
        if (!writes.isEmpty()) {
            timer.start(int(writes.first().dueMs - now));
            return;
        }
        if (queue.isEmpty())
            return;
        serve(queue.takeFirst());
    }
}

void SimGateway::serve(const Request &request)
{
    answerFor = request.from;
    const SimReply reply = handler(request.frame);
    if (reply.action == SimReply::Close) {
        if (SimSession *to = target())
            to->close();
    } else if (reply.action == SimReply::Answer) {
        const qint64 start = clock.elapsed();
        for (const SimReply::Piece &piece : reply.pieces())
            writes.append({start + piece.atMs, piece.bytes, piece.endsAnswer});
    }
}

SimSession *SimGateway::target() const
{
    if (answerFor && connections.contains(answerFor.data()))
        return answerFor.data();
    return connections.isEmpty() ? nullptr : connections.last();
}
