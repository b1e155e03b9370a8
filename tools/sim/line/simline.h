// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMLINE_H
#define SIMLINE_H

#include "simplc.h"
#include "simfaults.h"
#include "simgenerator.h"
#include "simlogentry.h"

#include <QtCore/QList>

#include <vector>

// What a transport does with one request frame.
struct SimReply {
    enum Action { Silent, Answer, Close };
    Action action = Silent;
    QByteArray bytes;
    int delayMs = 0;
    int splitAt = 0;        // > 0: send bytes before it, pause, then the rest
    int splitPauseMs = 0;
    int dupPauseMs = -1;    // >= 0: the whole answer again, this long after its last byte

    // One write of an answer, `atMs` after the answer is due to start.
    struct Piece {
        int atMs;
        QByteArray bytes;
        bool endsAnswer;    // the last piece of one copy of the answer
    };
    // The writes of an Answer in the order they go out.
    QList<Piece> pieces() const;
};

// A generator at work on one label of one station.
struct SimGenerated {
    int station = 1;
    SimArea area = SimArea::None;
    int element = 0;
    bool typed = false;           // declared with a type, not the area's own
    SimGenerator generator;
    qint64 startedMs = 0;

    SimType type() const { return generator.type(); }
    QString label() const;        // "D10"
    // "D10:uint16 = ramp(0, 100, 5, 1s)" without a station.
    QString text() const;
};

// The simulated PLCs of one line as the transports see them: one PLC per
// station, the faults laid over their answers, and the log of every request
// received. Not thread safe; SimServer guards it.
class SimLine
{
public:
    explicit SimLine(int station = 1);

    // The first station's PLC.
    SimPlc &firstPlc() { return firstStation; }
    const SimPlc &firstPlc() const { return firstStation; }

    // The stations on the line, the first one firstPlc()'s; each keeps its
    // memory when it stays, a new one starts empty.
    void setStations(const QList<int> &stations);
    QList<int> stations() const;
    // The PLC of a station; nullptr when it is not simulated.
    SimPlc *plcOf(int station);
    const SimPlc *plcOf(int station) const;

    // Setting faults restarts their count and their random sequence.
    void setFaults(const SimFaults &faults) { dice = SimFaultDice(faults); }
    const SimFaults &faults() const { return dice.faults(); }

    SimReply handle(const QByteArray &frame);

    // The oldest frames are dropped beyond this many, so a long soak run
    // does not grow without bound.
    static constexpr int maxLogged = 100000;
    const QList<QByteArray> &requestLog() const { return log; }
    void clearRequestLog() { log.clear(); }

    // The same requests as entries, the oldest dropped beyond maxEntries.
    static constexpr int maxEntries = 10000;
    QList<SimLogEntry> entriesSince(qint64 sequence) const;
    const SimLogEntry &lastEntry() const { return entries.last(); }
    qint64 lastSequence() const { return lastLogged; }
    // Logs bytes that never became a request, with what became of them.
    void logIgnored(const QString &outcome);
    // Logs a change made from outside the link (SimLogEntry::change).
    void logChange(const SimLogEntry &entry) { append(entry); }

    // Generators, seeded from `seed` and each one's place, so that the same
    // file gives the same values under the same seed.
    void setGeneratorSeed(quint32 seed) { generatorSeed = seed; }
    // Starts a generator on a label of a simulated station, replacing any
    // whose storage it shares; false when the station is not simulated.
    bool addGenerator(int station, SimArea area, int element, SimType type, bool typed,
                      const SimGeneratorRecipe &recipe, qint64 nowMs);
    const QList<SimGenerated> &generators() const { return running; }
    // Stops the generators whose storage meets `span` on `station` and
    // logs each as stopped by `origin`; `detail` says by what.
    void stopGenerators(int station, const SimTypes::Span &span, const QString &origin, const QString &why);
    void stopAllGenerators() { running.clear(); }
    // Writes every generator's value at `nowMs` (the clock addGenerator had).
    void runGenerators(qint64 nowMs);

private:
    void append(SimLogEntry entry);
    QString outcomeOf(const QByteArray &frame, const SimFaultHits &hits, const SimReply &reply) const;
    // Marks a read that looks like the driver's synchronising read.
    void noteExchange(SimLogEntry *entry);

    SimPlc firstStation;
    std::vector<SimPlc> others;
    SimFaultDice dice;
    QList<QByteArray> log;
    QList<SimLogEntry> entries;
    qint64 lastLogged = 0;
    int failedStation = -1;       // the station of the last request, when it failed
    QList<SimGenerated> running;
    quint32 generatorSeed = 1;
};

#endif
