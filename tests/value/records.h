// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef TESTS_VALUE_RECORDS_H
#define TESTS_VALUE_RECORDS_H

#include "CLabelVariable.h"

#include <QtTest/QtTest>

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

// Compares the fields a record starts with, all but the aux ones; the caller
// checks QTest::currentTestFailed() before going on.
inline void compareWithFreshFields(const CLabelVariable &r)
{
    QCOMPARE(r.status, 1);
    QCOMPARE(r.accessError, 1);
    QVERIFY(!r.value.isValid());
    QVERIFY(r.timestamp.isNull());
    QVERIFY(r.address.isEmpty());
    QCOMPARE(r.count, 0);
    QCOMPARE(r.type, DT_None);
}

// Compares the fields both copying and assignment take from the source.
inline void compareWithSharedFields(const CLabelVariable &r, const CLabelVariable &source)
{
    QCOMPARE(r.status, source.status);
    QCOMPARE(r.value, source.value);
    QCOMPARE(r.timestamp, source.timestamp);
    QCOMPARE(r.address, source.address);
    QCOMPARE(r.count, source.count);
    QCOMPARE(r.type, source.type);
    QCOMPARE(r.auxText, source.auxText);
}

#endif // TESTS_VALUE_RECORDS_H
