#include "latencystats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace {

// The smallest sample with at least `percent` of the series at or below it.
double nearestRank(const std::vector<double> &sorted, double percent)
{
    const auto rank = std::size_t(std::ceil(percent / 100.0 * double(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

} // namespace

LatencyStats LatencyStats::of(std::vector<double> samples)
{
    LatencyStats stats;
    if (samples.empty())
        return stats;
    std::sort(samples.begin(), samples.end());
    stats.count = int(samples.size());
    stats.p50 = nearestRank(samples, 50.0);
    stats.p99 = nearestRank(samples, 99.0);
    stats.max = samples.back();
    stats.mean = std::accumulate(samples.begin(), samples.end(), 0.0) / double(samples.size());
    return stats;
}
