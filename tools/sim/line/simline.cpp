// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simline.h"

#include "simlabel.h"

#include <QtCore/QDateTime>
#include <QtCore/QStringList>

namespace {

// The registers of a write as they came: "0x0005 0x0006".
QString wordsText(const QVector<quint16> &words)
{
    QStringList texts;
    for (const quint16 word : words)
        texts << QStringLiteral("0x%1").arg(QString::number(word, 16).toUpper().rightJustified(4, QLatin1Char('0')));
    return texts.join(QLatin1Char(' '));
}

// Why bytes from a start byte to an end byte name no station, and so are
// not a request any PLC on the line would answer.
QString notARequest(const QByteArray &frame)
{
    if (!frame.startsWith(SimFrame::start) || !frame.endsWith(SimFrame::end))
        return QStringLiteral("not a request: no start byte 0x02 and end byte 0x03 around it");
    const QByteArray station = frame.mid(1, 2);
    if (frame.size() < 4 || station.contains(SimFrame::end))
        return QStringLiteral("not a request: too short to name a station (%1 bytes)").arg(frame.size());
    return QStringLiteral("not a request: the station number must be two hex digits, not \"%1\"")
            .arg(SimLogEntry::escaped(station));
}

} // namespace

QString SimGenerated::label() const
{
    return SimLabel{area, element}.text();
}

QString SimGenerated::text() const
{
    return (typed ? QStringLiteral("%1:%2").arg(label(), SimTypes::name(type())) : label())
            + QStringLiteral(" = ") + generator.recipe().text();
}

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

SimLine::SimLine(int station)
    : firstStation(station)
{
}

void SimLine::setStations(const QList<int> &stations)
{
    if (stations.isEmpty())
        return;
    std::vector<SimPlc> kept;
    for (int i = 1; i < stations.size(); ++i) {
        const SimPlc *old = plcOf(stations.at(i));
        kept.push_back(old ? *old : SimPlc(stations.at(i)));
        kept.back().setStation(stations.at(i));
    }
    if (const SimPlc *old = plcOf(stations.first()))
        firstStation = *old;
    firstStation.setStation(stations.first());
    others = std::move(kept);
}

QList<int> SimLine::stations() const
{
    QList<int> list{firstStation.station()};
    for (const SimPlc &plc : others)
        list << plc.station();
    return list;
}

SimPlc *SimLine::plcOf(int station)
{
    return const_cast<SimPlc *>(static_cast<const SimLine *>(this)->plcOf(station));
}

const SimPlc *SimLine::plcOf(int station) const
{
    if (firstStation.station() == station)
        return &firstStation;
    for (const SimPlc &plc : others) {
        if (plc.station() == station)
            return &plc;
    }
    return nullptr;
}

QList<SimLogEntry> SimLine::entriesSince(qint64 sequence) const
{
    // Sequence numbers have no gaps: the entry after `sequence` sits at a
    // known distance from the last one.
    QList<SimLogEntry> newer;
    if (entries.isEmpty() || sequence >= lastLogged)
        return newer;
    const qint64 first = qMax<qint64>(0, entries.size() - (lastLogged - qMax<qint64>(sequence, 0)));
    for (int i = int(first); i < entries.size(); ++i)
        newer.append(entries.at(i));
    return newer;
}

SimReply SimLine::handle(const QByteArray &frame)
{
    log.append(frame);
    if (log.size() > maxLogged)
        log.removeFirst();

    SimLogEntry entry = SimLogEntry::fromFrame(frame);

    SimReply reply;
    SimFaultHits hits;
    SimPlc *target = plcOf(entry.station);
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
    if (entry.station < 0)
        entry.outcome = QStringLiteral("ignored, ") + notARequest(frame);
    else
        entry.outcome = target ? outcomeOf(frame, hits, reply) : QStringLiteral("ignored (no such station)");
    noteExchange(&entry);
    const SimRequest request = SimFrame::parseRequest(frame);
    const bool written = target && request.isRegisterWrite() && request.error == SimErrorCode::none
            && reply.action == SimReply::Answer && !hits.error;
    if (written)
        entry.detail = wordsText(request.values);
    append(entry);
    if (written) {
        stopGenerators(request.station, SimTypes::span(request.area, request.start, SimType::UInt16, request.count),
                       QStringLiteral("link"), QStringLiteral("written by the link"));
    }
    return reply;
}

void SimLine::noteExchange(SimLogEntry *entry)
{
    entry->failed = entry->outcome != QLatin1String("answered");
    const bool firstUnit = entry->count == 1
            && ((entry->command == QLatin1String("read") && entry->label == QLatin1String("D0"))
                || (entry->command == QLatin1String("read bits") && entry->label == QLatin1String("X0")));
    entry->synchronising = firstUnit && failedStation >= 0 && entry->station == failedStation;
    failedStation = entry->failed ? entry->station : -1;
}

bool SimLine::addGenerator(int station, SimArea area, int element, SimType type, bool typed,
                          const SimGeneratorRecipe &recipe, qint64 nowMs)
{
    if (!plcOf(station) || !SimTypes::fits(area, element, type, 1))
        return false;
    const SimTypes::Span span = SimTypes::span(area, element, type, 1);
    for (int i = running.size() - 1; i >= 0; --i) {
        const SimGenerated &old = running.at(i);
        if (old.station == station && SimTypes::span(old.area, old.element, old.type(), 1).meets(span))
            running.removeAt(i);
    }
    // The same label gets the same numbers, whatever else the file holds.
    const quint32 seed = generatorSeed ^ quint32(station * 0x9E3779B1u) ^ quint32(int(area) * 0x85EBCA77u)
            ^ quint32(element * 0xC2B2AE3Du);
    running.append(SimGenerated{station, area, element, typed, SimGenerator(recipe, type, seed), nowMs});
    runGenerators(nowMs);
    return true;
}

void SimLine::stopGenerators(int station, const SimTypes::Span &span, const QString &origin, const QString &why)
{
    for (int i = running.size() - 1; i >= 0; --i) {
        const SimGenerated &old = running.at(i);
        if (old.station != station || !SimTypes::span(old.area, old.element, old.type(), 1).meets(span))
            continue;
        append(SimLogEntry::change(origin, station, QStringLiteral("generator stopped"), old.label(),
                                   old.generator.recipe().text() + QStringLiteral(", ") + why));
        running.removeAt(i);
    }
}

void SimLine::runGenerators(qint64 nowMs)
{
    for (SimGenerated &generated : running) {
        SimPlc *plc = plcOf(generated.station);
        if (!plc)
            continue;
        const quint64 pattern = generated.generator.valueAt(nowMs - generated.startedMs);
        SimTypes::write(&plc->memory(), generated.area, generated.element, generated.type(), {pattern});
    }
}

void SimLine::logIgnored(const QString &outcome)
{
    SimLogEntry entry;
    entry.command = QStringLiteral("bytes");
    entry.outcome = outcome;
    entry.failed = true;
    append(entry);
}

void SimLine::append(SimLogEntry entry)
{
    entry.sequence = ++lastLogged;
    entry.timeMs = QDateTime::currentMSecsSinceEpoch();
    entries.append(entry);
    if (entries.size() > maxEntries)
        entries.removeFirst();
}

QString SimLine::outcomeOf(const QByteArray &frame, const SimFaultHits &hits, const SimReply &reply) const
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
