// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_TESTS_TESTTABLE_H
#define NORVO_TESTS_TESTTABLE_H

#include <QtTest/QtTest>

// Declares the columns of a QTest data table in one call, the types in
// order and one name for each:
//   addColumns<QString, int>("label", "count");
template<typename... Types, typename... Names>
void addColumns(const Names &...names)
{
    static_assert(sizeof...(Types) == sizeof...(Names), "one name for each column type");
    (QTest::addColumn<Types>(names), ...);
}

#endif // NORVO_TESTS_TESTTABLE_H
