#ifndef NORVO_BENCH_CPUCOMPARISON_H
#define NORVO_BENCH_CPUCOMPARISON_H

#include "exchangeloop.h"

#include <functional>
#include <vector>

// The CPU per exchange of a subject (the driver) against a reference (the
// plain socket loop), both measured in the same run in blocks that take
// turns, so that the shared machine's changing load weighs on both alike.
struct CpuComparison
{
    int pairs = 0;                // block pairs counted
    double subjectMicros = 0.0;   // median of the subject's blocks
    double referenceMicros = 0.0; // median of the reference's blocks
    double ratio = 0.0;           // median of the pairs' subject / reference
    double lowestRatio = 0.0;
    double highestRatio = 0.0;

    // Pair i is subjectMicros[i] and referenceMicros[i], measured side by
    // side: its ratio is free of the load's drift from pair to pair, and the
    // median of those ratios is free of a pair that met a burst. Pairs
    // without a positive figure on both sides are left out.
    static CpuComparison of(const std::vector<double> &subjectMicros,
                            const std::vector<double> &referenceMicros);
};

// The middle value; the mean of the two middle values of an even count;
// 0 for none.
double median(std::vector<double> values);

// The runs of both sides, in pair order.
struct AlternatingRuns
{
    std::vector<ExchangeRun> subject;
    std::vector<ExchangeRun> reference;
};

// One unmeasured block of each side to warm up, then `pairs` pairs of
// blocks. Which side goes first swaps from pair to pair, so that neither
// always runs just after a long sleep or just after the other's work.
AlternatingRuns runAlternating(int pairs, const std::function<ExchangeRun()> &subjectBlock,
                               const std::function<ExchangeRun()> &referenceBlock);

#endif
