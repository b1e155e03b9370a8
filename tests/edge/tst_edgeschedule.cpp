// SPDX-License-Identifier: LGPL-2.1-or-later
// When a link's cycles run: at one of the period's start moments, then on
// their own beat, moving only past an overrun.

#include "TestTable.h"
#include "cycleschedule.h"

#include <QtTest/QtTest>

class TestEdgeSchedule : public QObject
{
    Q_OBJECT

private slots:
    void firstDelay_data();
    void firstDelay();
    void next_data();
    void next();
};

void TestEdgeSchedule::firstDelay_data()
{
    addColumns<int, int, int, qint64>("period", "link", "links", "delay");
    QTest::newRow("one link starts at once") << 1000 << 0 << 1 << qint64(0);
    QTest::newRow("first of four") << 1000 << 0 << 4 << qint64(0);
    QTest::newRow("last of four") << 1000 << 3 << 4 << qint64(750);
    QTest::newRow("ten links, one a moment") << 1000 << 9 << 10 << qint64(900);
    QTest::newRow("50 links take the moments in turn") << 1000 << 13 << 50 << qint64(300);
    QTest::newRow("the 11th link starts with the first") << 1000 << 10 << 50 << qint64(0);
    QTest::newRow("long period does not overflow") << 2000000000 << 2 << 3 << qint64(1333333333);
    QTest::newRow("more moments than ms") << 5 << 7 << 50 << qint64(3);
    QTest::newRow("a place out of range starts at once") << 1000 << 5 << 4 << qint64(0);
    QTest::newRow("negative place") << 1000 << -1 << 4 << qint64(0);
}

void TestEdgeSchedule::firstDelay()
{
    QFETCH(int, period);
    QFETCH(int, link);
    QFETCH(int, links);
    QFETCH(qint64, delay);
    QCOMPARE(CycleSchedule::firstDelayMs(period, link, links), delay);
}

void TestEdgeSchedule::next_data()
{
    addColumns<qint64, int, qint64, qint64, bool>("due", "period", "end", "next", "overrun");
    QTest::newRow("short cycle keeps the beat") << qint64(1000) << 1000 << qint64(1012) << qint64(2000) << false;
    QTest::newRow("late start, short cycle: still the beat") << qint64(1000) << 1000 << qint64(1900) << qint64(2000)
                                                             << false;
    QTest::newRow("ends on the next start") << qint64(1000) << 1000 << qint64(2000) << qint64(2000) << false;
    QTest::newRow("past the next start: moves") << qint64(1000) << 1000 << qint64(2001) << qint64(2001) << true;
    QTest::newRow("several periods missed: one cycle, not a burst") << qint64(0) << 100 << qint64(950) << qint64(950)
                                                                    << true;
}

void TestEdgeSchedule::next()
{
    QFETCH(qint64, due);
    QFETCH(int, period);
    QFETCH(qint64, end);
    QFETCH(qint64, next);
    QFETCH(bool, overrun);
    const CycleSchedule::Next result = CycleSchedule::next(due, period, end);
    QCOMPARE(result.dueMs, next);
    QCOMPARE(result.overrun, overrun);
}

QTEST_APPLESS_MAIN(TestEdgeSchedule)
#include "tst_edgeschedule.moc"
