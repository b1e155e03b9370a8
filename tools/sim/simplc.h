#ifndef SIMPLC_H
#define SIMPLC_H

#include "simengine.h"
#include "simfaults.h"

#include <QtCore/QList>

// What a transport does with one request frame.
struct SimReply {
    enum Action { Silent, Answer, Close };
    Action action = Silent;
    QByteArray bytes;
    int delayMs = 0;
    int splitAt = 0;        // > 0: send bytes before it, pause, then the rest
    int splitPauseMs = 0;
};

// The simulated PLC as the transports see it: the engine, the faults laid
// over its answers, and the log of every request frame received. Not thread
// safe; SimServer guards it.
class SimPlc
{
public:
    explicit SimPlc(int station = 1);

    SimEngine &engine() { return eng; }
    const SimEngine &engine() const { return eng; }

    // Setting faults restarts their count and their random sequence.
    void setFaults(const SimFaults &faults) { dice = SimFaultDice(faults); }
    const SimFaults &faults() const { return dice.faults(); }

    SimReply handle(const QByteArray &frame);

    // The oldest frames are dropped beyond this many, so a long soak run
    // does not grow without bound.
    static constexpr int maxLogged = 100000;
    const QList<QByteArray> &requestLog() const { return log; }
    void clearRequestLog() { log.clear(); }

private:
    SimEngine eng;
    SimFaultDice dice;
    QList<QByteArray> log;
};

#endif
