#include "cpucomparison.h"

#include <algorithm>

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

CpuComparison CpuComparison::of(const std::vector<double> &subjectMicros,
                                const std::vector<double> &referenceMicros)
{
    std::vector<double> subject;
    std::vector<double> reference;
    std::vector<double> ratios;
    for (std::size_t i = 0; i < std::min(subjectMicros.size(), referenceMicros.size()); ++i) {
        if (subjectMicros[i] <= 0 || referenceMicros[i] <= 0)
            continue;
        subject.push_back(subjectMicros[i]);
        reference.push_back(referenceMicros[i]);
        ratios.push_back(subjectMicros[i] / referenceMicros[i]);
    }
    CpuComparison comparison;
    if (ratios.empty())
        return comparison;
    comparison.pairs = int(ratios.size());
    comparison.subjectMicros = median(subject);
    comparison.referenceMicros = median(reference);
    comparison.ratio = median(ratios);
    const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
    comparison.lowestRatio = *lowest;
    comparison.highestRatio = *highest;
    return comparison;
}

AlternatingRuns runAlternating(int pairs, const std::function<ExchangeRun()> &subjectBlock,
                               const std::function<ExchangeRun()> &referenceBlock)
{
    subjectBlock();
    referenceBlock();
    AlternatingRuns runs;
    for (int i = 0; i < pairs; ++i) {
        if (i % 2 == 0) {
            runs.subject.push_back(subjectBlock());
            runs.reference.push_back(referenceBlock());
        } else {
            runs.reference.push_back(referenceBlock());
            runs.subject.push_back(subjectBlock());
        }
    }
    return runs;
}
