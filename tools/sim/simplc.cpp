#include "simplc.h"

#include <QtCore/QDateTime>

QList<SimReply::Piece> SimReply::pieces() const
{
    QList<Piece> copy;
    if (splitAt > 0 && splitAt < bytes.size())
        copy << Piece{0, bytes.left(splitAt), false} << Piece{splitPauseMs, bytes.mid(splitAt), true};
    else
        copy << Piece{0, bytes, true};
    // Gaps become times; a second copy starts its pause after the first's end.
    QList<Piece> all;
    int at = delayMs;
    for (int round = dupPauseMs >= 0 ? 2 : 1; round > 0; --round) {
        for (Piece piece : qAsConst(copy)) {
            at += piece.atMs;
            piece.atMs = at;
            all << piece;
        }
        at += dupPauseMs;
    }
    return all;
}

SimPlc::SimPlc(int station)
    : eng(station)
{
}

void SimPlc::setStations(const QList<int> &stations)
{
    if (stations.isEmpty())
        return;
    std::vector<SimEngine> kept;
    for (int i = 1; i < stations.size(); ++i) {
        const SimEngine *old = engineOf(stations.at(i));
        kept.push_back(old ? *old : SimEngine(stations.at(i)));
        kept.back().setStation(stations.at(i));
    }
    if (const SimEngine *old = engineOf(stations.first()))
        eng = *old;
    eng.setStation(stations.first());
    others = std::move(kept);
}

QList<int> SimPlc::stations() const
{
    QList<int> list{eng.station()};
    for (const SimEngine &engine : others)
        list << engine.station();
    return list;
}

SimEngine *SimPlc::engineOf(int station)
{
    return const_cast<SimEngine *>(static_cast<const SimPlc *>(this)->engineOf(station));
}

const SimEngine *SimPlc::engineOf(int station) const
{
    if (eng.station() == station)
        return &eng;
    for (const SimEngine &engine : others) {
        if (engine.station() == station)
            return &engine;
    }
    return nullptr;
}

QList<SimLogEntry> SimPlc::entriesSince(qint64 sequence) const
{
    // Sequence numbers have no gaps: the entry after `sequence` sits at a
    // known distance from the last one.
    QList<SimLogEntry> newer;
    if (entries.isEmpty() || sequence >= lastSequence)
        return newer;
    const qint64 first = qMax<qint64>(0, entries.size() - (lastSequence - qMax<qint64>(sequence, 0)));
    for (int i = int(first); i < entries.size(); ++i)
        newer.append(entries.at(i));
    return newer;
}

SimReply SimPlc::handle(const QByteArray &frame)
{
    log.append(frame);
    if (log.size() > maxLogged)
        log.removeFirst();

    SimLogEntry entry = SimLogEntry::fromFrame(frame);

    SimReply reply;
    SimFaultHits hits;
    SimEngine *target = engineOf(entry.station);
    if (target) {
        hits = dice.roll();
        const SimFaults &faults = dice.faults();
        if (hits.close) {
            reply.action = SimReply::Close;
        } else if (!hits.drop) {
            reply.action = SimReply::Answer;
            reply.bytes = hits.error ? target->refuse(frame, faults.errorCode) : target->respond(frame);
            if (hits.badChecksum)
                reply.bytes = SimFrame::withWrongChecksum(reply.bytes);
            if (hits.delay)
                reply.delayMs = faults.delayMs;
            if (hits.split) {
                reply.splitAt = reply.bytes.size() / 2;
                reply.splitPauseMs = faults.splitPauseMs;
            }
            if (hits.dup)
                reply.dupPauseMs = faults.dupPauseMs;
        }
    }
    entry.outcome = target ? outcomeOf(frame, hits, reply) : QStringLiteral("ignored (no such station)");
    append(entry);
    return reply;
}

void SimPlc::logIgnored(const QString &outcome)
{
    SimLogEntry entry;
    entry.command = QStringLiteral("bytes");
    entry.outcome = outcome;
    append(entry);
}

void SimPlc::append(SimLogEntry entry)
{
    entry.sequence = ++lastSequence;
    entry.timeMs = QDateTime::currentMSecsSinceEpoch();
    entries.append(entry);
    if (entries.size() > maxEntries)
        entries.removeFirst();
}

QString SimPlc::outcomeOf(const QByteArray &frame, const SimFaultHits &hits, const SimReply &reply) const
{
    if (hits.close)
        return QStringLiteral("connection closed (close fault)");
    if (hits.drop)
        return QStringLiteral("no answer (drop fault)");
    QString outcome;
    if (hits.error) {
        outcome = QStringLiteral("error %1 (error fault)").arg(QLatin1Char(dice.faults().errorCode));
    } else {
        const char code = SimFrame::parseRequest(frame).error;
        outcome = code == SimErrorCode::none ? QStringLiteral("answered")
                                             : QStringLiteral("error %1").arg(QLatin1Char(code));
    }
    if (hits.badChecksum)
        outcome += QStringLiteral(", bad checksum (fault)");
    if (reply.delayMs > 0)
        outcome += QStringLiteral(", %1 ms late (delay fault)").arg(reply.delayMs);
    if (reply.splitAt > 0)
        outcome += QStringLiteral(", in two pieces (split fault)");
    if (reply.dupPauseMs >= 0)
        outcome += QStringLiteral(", sent twice (dup fault)");
    return outcome;
}
