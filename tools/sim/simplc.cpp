#include "simplc.h"

SimPlc::SimPlc(int station)
    : eng(station)
{
}

SimReply SimPlc::handle(const QByteArray &frame)
{
    log.append(frame);
    if (log.size() > maxLogged)
        log.removeFirst();

    SimReply reply;
    if (!eng.isAddressedToMe(frame))
        return reply;

    const SimFaultHits hits = dice.roll();
    const SimFaults &faults = dice.faults();
    if (hits.close) {
        reply.action = SimReply::Close;
        return reply;
    }
    if (hits.drop)
        return reply;

    reply.action = SimReply::Answer;
    reply.bytes = hits.error ? eng.refuse(frame, faults.errorCode) : eng.respond(frame);
    if (hits.badChecksum)
        reply.bytes = SimFrame::withWrongChecksum(reply.bytes);
    if (hits.delay)
        reply.delayMs = faults.delayMs;
    if (hits.split) {
        reply.splitAt = reply.bytes.size() / 2;
        reply.splitPauseMs = faults.splitPauseMs;
    }
    return reply;
}
