// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simfaults.h"

SimFaultDice::SimFaultDice(const SimFaults &faults)
    : config(faults), random(faults.seed)
{
}

bool SimFaultDice::strikes(const SimFaultRule &rule)
{
    bool hit = rule.every > 0 && requestNo % rule.every == 0;
    // Draw for every random rule on every request, hit or not, so that one
    // seed gives one sequence of faults.
    if (rule.chance > 0.0) {
        const double draw = std::uniform_real_distribution<double>(0.0, 1.0)(random);
        hit = hit || draw < rule.chance;
    }
    return hit;
}

SimFaultHits SimFaultDice::roll()
{
    ++requestNo;
    SimFaultHits hits;
    hits.close = strikes(config.close);
    hits.drop = strikes(config.drop);
    hits.error = strikes(config.error);
    hits.badChecksum = strikes(config.badChecksum);
    hits.delay = strikes(config.delay) && config.delayMs > 0;
    hits.split = strikes(config.split);
    // Last, so that the seeds of the older faults keep their sequences.
    hits.dup = strikes(config.dup);
    return hits;
}
