// SPDX-License-Identifier: LGPL-2.1-or-later
#include "bench.h"

#include <algorithm>
#include <cstdio>

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

CpuComparison CpuComparison::of(const std::vector<double> &driverMicros, const std::vector<double> &plainMicros)
{
    std::vector<double> driver, plain, ratios;
    for (std::size_t i = 0; i < std::min(driverMicros.size(), plainMicros.size()); ++i) {
        if (driverMicros[i] > 0 && plainMicros[i] > 0) {
            driver.push_back(driverMicros[i]);
            plain.push_back(plainMicros[i]);
            ratios.push_back(driverMicros[i] / plainMicros[i]);
        }
    }
    if (ratios.empty())
        return {};
    const auto [lowest, highest] = std::minmax_element(ratios.begin(), ratios.end());
    return {int(ratios.size()), median(driver), median(plain), median(ratios), *lowest, *highest};
}

void Report::title(const QString &text)
{
    line(QStringLiteral("\n== ") + text);
}

void Report::line(const QString &text)
{
    std::puts(text.toUtf8().constData());
    std::fflush(stdout); // a long run shows its progress
}

void Report::target(const QString &what, const QString &measured, bool isMet)
{
    if (isMet)
        ++met;
    else
        missed.append(what);
    line(QStringLiteral("  target: %1: %2 -> %3").arg(what, measured, isMet ? "met" : "MISSED"));
}

void Report::problem(const QString &text)
{
    ++problems;
    line(QStringLiteral("  problem: ") + text);
}
