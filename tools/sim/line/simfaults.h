// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMFAULTS_H
#define SIMFAULTS_H

#include "simframe.h"

#include <random>

// When a fault strikes: on every Nth request (`every` N, counted from the
// moment the faults were set), and/or at random with probability `chance`
// per request (0..1), from a generator seeded with SimFaults::seed.
struct SimFaultRule {
    int every = 0;
    double chance = 0.0;

    bool isActive() const { return every > 0 || chance > 0.0; }
    static SimFaultRule always() { return SimFaultRule{1, 0.0}; }
    static SimFaultRule everyNth(int n) { return SimFaultRule{n, 0.0}; }
    static SimFaultRule withChance(double p) { return SimFaultRule{0, p}; }
};

// The faults the simulator injects into its answers. Only requests for the
// simulator's own station count; all rules off by default.
struct SimFaults {
    SimFaultRule delay;          // answer `delayMs` late
    int delayMs = 0;
    SimFaultRule drop;           // no answer at all
    SimFaultRule badChecksum;    // answer with its checksum off by one
    SimFaultRule error;          // refuse with `errorCode`, carrying nothing out
    char errorCode = SimErrorCode::busy;
    SimFaultRule split;          // answer in two halves, `splitPauseMs` apart
    int splitPauseMs = 30;
    SimFaultRule dup;            // the answer twice, the second copy `dupPauseMs`
    int dupPauseMs = 30;         // after the first has gone out
    SimFaultRule close;          // close the connection instead of answering (TCP);
                                 // on a serial line or pty: no answer
    quint32 seed = 1;
};

// Which faults strike one request.
struct SimFaultHits {
    bool delay = false;
    bool drop = false;
    bool badChecksum = false;
    bool error = false;
    bool split = false;
    bool close = false;
    bool dup = false;
};

// Rolls the rules of a SimFaults for each request, deterministically for a
// given seed.
class SimFaultDice
{
public:
    explicit SimFaultDice(const SimFaults &faults = SimFaults());

    const SimFaults &faults() const { return config; }
    SimFaultHits roll();

private:
    bool strikes(const SimFaultRule &rule);

    SimFaults config;
    std::mt19937 random;
    qint64 requestNo = 0;
};

#endif
