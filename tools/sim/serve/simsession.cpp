// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simsession.h"

#include "simchannel.h"

SimSession::SimSession(SimChannel *channel, Handler handler, QObject *parent)
    : QObject(parent), link(channel), handler(std::move(handler))
{
    link->setParent(this);
    clock.start();
    outboxTimer.setSingleShot(true);
    outboxTimer.setTimerType(Qt::PreciseTimer);
    connect(&outboxTimer, &QTimer::timeout, this, &SimSession::sendDue);
    connect(link, &SimChannel::received, this, &SimSession::receive);
    connect(link, &SimChannel::closed, this, &SimSession::onChannelClosed);
}

void SimSession::close()
{
    if (!link->canClose())
        return;
    outbox.clear();
    outboxTimer.stop();
    link->close();
}

void SimSession::send(const QByteArray &bytes, bool endsAnswer)
{
    enqueue(clock.elapsed(), bytes, endsAnswer);
}

void SimSession::receive(const QByteArray &bytes)
{
    QByteArray dropped;
    const QList<QByteArray> frames = reader.feed(bytes, &dropped);
    if (!dropped.isEmpty())
        emit noise(dropped);
    for (const QByteArray &frame : frames) {
        if (ended)
            return;
        if (!handler) {
            emit request(this, frame);
            continue;
        }
        const SimReply reply = handler(frame);
        if (reply.action == SimReply::Close)
            close();
        else if (reply.action == SimReply::Answer)
            schedule(reply);
    }
}

void SimSession::schedule(const SimReply &reply)
{
    // Never before bytes already waiting, so answers keep their order; a
    // late start moves every piece, keeping their pauses.
    const QList<SimReply::Piece> pieces = reply.pieces();
    qint64 start = clock.elapsed();
    if (!outbox.isEmpty())
        start = qMax(start, outbox.last().dueMs - pieces.first().atMs);
    for (const SimReply::Piece &piece : pieces)
        enqueue(start + piece.atMs, piece.bytes, piece.endsAnswer);
}

void SimSession::enqueue(qint64 dueMs, const QByteArray &bytes, bool endsAnswer)
{
    if (!outbox.isEmpty())
        dueMs = qMax(dueMs, outbox.last().dueMs);
    outbox.append({dueMs, bytes, endsAnswer});
    sendDue();
}

void SimSession::sendDue()
{
    const qint64 now = clock.elapsed();
    while (!outbox.isEmpty() && outbox.first().dueMs <= now) {
        const Pending next = outbox.takeFirst();
        link->send(next.bytes);
        emit sent(next.bytes);
        if (next.endsAnswer)
            emit answerSent();
    }
    if (!outbox.isEmpty())
        outboxTimer.start(int(outbox.first().dueMs - now));
}

void SimSession::onChannelClosed()
{
    if (ended)
        return;
    ended = true;
    outbox.clear();
    outboxTimer.stop();
    emit closed(this);
}
