// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_BENCH_PLANLABELS_H
#define NORVO_BENCH_PLANLABELS_H

#include "ReadPlan.h"

// A plant's tag list as the read planner meets it: 100 clusters of 10
// labels of mixed widths, 100 registers apart across D0 to D9999, with
// gaps of 0 to 2 registers inside a cluster. The same every run.
inline QVector<ReadPlan::Item> clusteredLabels()
{
    static const DataType types[] = {DT_Int16, DT_UInt16, DT_Int32, DT_Float, DT_Int16,
                                     DT_Double, DT_UInt32, DT_Int16, DT_Int64, DT_UInt16};
    QVector<ReadPlan::Item> items;
    for (int cluster = 0; cluster < 100; ++cluster) {
        int element = cluster * 100;
        for (int i = 0; i < 10; ++i) {
            const DataType type = types[(cluster + i) % 10];
            items.append(ReadPlan::item(QStringLiteral("D%1").arg(element), type, 1));
            const int words = type == DT_Int16 || type == DT_UInt16 ? 1 : (type == DT_Double || type == DT_Int64 ? 4 : 2);
            element += words + (cluster * 7 + i * 3) % 3;
        }
    }
    return items;
}

#endif
