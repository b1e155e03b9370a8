#ifndef SIMPLC_H
#define SIMPLC_H

#include "simengine.h"
#include "simfaults.h"
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

// The simulated PLCs of one line as the transports see them: one engine per
// station, the faults laid over their answers, and the log of every request
// received. Not thread safe; SimServer guards it.
class SimPlc
{
public:
    explicit SimPlc(int station = 1);

    // The first station's engine.
    SimEngine &engine() { return eng; }
    const SimEngine &engine() const { return eng; }

    // The stations on the line, the first one engine()'s; each keeps its
    // memory when it stays, a new one starts empty.
    void setStations(const QList<int> &stations);
    QList<int> stations() const;
    // The engine of a station; nullptr when it is not simulated.
    SimEngine *engineOf(int station);
    const SimEngine *engineOf(int station) const;

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
    // Logs bytes that never became a request, with what became of them.
    void logIgnored(const QString &outcome);

private:
    void append(SimLogEntry entry);
    QString outcomeOf(const QByteArray &frame, const SimFaultHits &hits, const SimReply &reply) const;

    SimEngine eng;
    std::vector<SimEngine> others;
    SimFaultDice dice;
    QList<QByteArray> log;
    QList<SimLogEntry> entries;
    qint64 lastSequence = 0;
};

#endif
