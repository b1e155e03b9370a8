#ifndef NORVO_BENCH_LATENCYSTATS_H
#define NORVO_BENCH_LATENCYSTATS_H

#include <vector>

// Summary of a series of measured times, in milliseconds.
struct LatencyStats
{
    int count = 0;
    double p50 = 0.0;
    double p99 = 0.0;
    double max = 0.0;
    double mean = 0.0;

    // Percentiles by nearest rank: p50 of 2000 samples is the 1000th
    // smallest, p99 the 1980th. An empty series gives all zeros.
    static LatencyStats of(std::vector<double> samples);
};

#endif
