// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_TESTS_EXTREMES_H
#define NORVO_TESTS_EXTREMES_H

#include <QtCore/QList>

#include <limits>
#include <type_traits>

// Values that expose coding faults: both ends of the range, zero and one,
// negatives for the signed types, and the awkward floating-point values.
template <typename T>
QList<T> extremes()
{
    using L = std::numeric_limits<T>;
    QList<T> values{L::lowest(), L::max(), T(0), T(1)};
    if constexpr (std::is_signed_v<T>)
        values << T(-1) << T(-2);
    if constexpr (std::is_floating_point_v<T>)
        values << T(-0.0) << L::min() << L::denorm_min() << L::infinity() << T(-2.5)
               << T(-1.5e-3);
    return values;
}

#endif
