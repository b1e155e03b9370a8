#ifndef TESTS_VALUE_RECORDS_H
#define TESTS_VALUE_RECORDS_H

#include "CLabelVariable.h"

// A record of the given type holding the list; count defaults to its size.
template<typename T>
CLabelVariable record(DataType type, const QList<T> &list, int count = -1)
{
    CLabelVariable r;
    r.status = 0;
    r.type = type;
    r.value = QVariant::fromValue(list);
    r.count = count < 0 ? list.size() : count;
    r.address = QStringLiteral("D100");
    return r;
}

#endif // TESTS_VALUE_RECORDS_H
