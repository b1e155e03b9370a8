// SPDX-License-Identifier: LGPL-2.1-or-later
// The label record: starting values, copy against assignment, and the
// element accessors with their outcome in accessError.

#include "records.h"

#include <QtTest>

#include <climits>
#include <functional>

class TestLabelRecord : public QObject
{
    Q_OBJECT

private slots:
    void freshRecord();
    void accessorsReadTheirOwnListType();
    void accessorsRefuseOtherListTypes();
    void positionsOutsideTheList();
    void copyTakesAllAssignmentKeepsOwnErrorAndAux();
    void listsLiveInVariants();
};

// Every accessor applied to r; each answers whether it returned its zero.
static QList<std::function<bool(CLabelVariable &)>> allAccessorsGiveZero(int pos)
{
    return {
        [=](CLabelVariable &r) { return r.atbool(pos) == false; },
        [=](CLabelVariable &r) { return r.atchar(pos) == 0; },
        [=](CLabelVariable &r) { return r.atInt8(pos) == 0; },
        [=](CLabelVariable &r) { return r.atUInt8(pos) == 0; },
        [=](CLabelVariable &r) { return r.atInt16(pos) == 0; },
        [=](CLabelVariable &r) { return r.atUInt16(pos) == 0; },
        [=](CLabelVariable &r) { return r.atInt32(pos) == 0; },
        [=](CLabelVariable &r) { return r.atUInt32(pos) == 0u; },
        [=](CLabelVariable &r) { return r.atFloat(pos) == 0.0f; },
        [=](CLabelVariable &r) { return r.atInt64(pos) == 0; },
        [=](CLabelVariable &r) { return r.atUInt64(pos) == 0u; },
        [=](CLabelVariable &r) { return r.atDouble(pos) == 0.0; },
        [=](CLabelVariable &r) { return r.atQString(pos).isNull(); },
    };
}

void TestLabelRecord::freshRecord()
{
    CLabelVariable r;
    // 1, not 0: nothing has been produced or accessed yet.
    compareWithFreshFields(r);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(r.auxValue, 0);
    QVERIFY(r.auxText.isEmpty());

    int n = 0;
    for (const auto &giveZero : allAccessorsGiveZero(0)) {
        r.accessError = 1;
        QVERIFY2(giveZero(r), qPrintable(QString::number(n)));
        QCOMPARE(r.accessError, 11);
        ++n;
    }
    QCOMPARE(r.status, 1);
    QVERIFY(!r.value.isValid());
}

// Each accessor reads the list type of its own width and signedness and
// widens its element without changing it: bytes stay 0..255, shorts keep
// their sign.
void TestLabelRecord::accessorsReadTheirOwnListType()
{
    CLabelVariable r = record(DT_Int8, QList<char>{0x01, char(0xF0)});
    QCOMPARE(int(r.atchar(1)), 240);
    QCOMPARE(int(r.atInt8(1)), 240);
    QCOMPARE(r.accessError, 0);

    auto check = [](auto list, auto read, auto expected) {
        CLabelVariable rec = record(DT_None, list);
        rec.accessError = 1;
        QCOMPARE(read(rec), expected);
        QCOMPARE(rec.accessError, 0);
        QCOMPARE(rec.count, list.size());
        QCOMPARE(rec.status, 0);
    };
    check(QList<bool>{false, true}, [](CLabelVariable &x) { return x.atbool(1); }, true);
    check(QList<uchar>{0, 255}, [](CLabelVariable &x) { return int(x.atUInt8(1)); }, 255);
    check(QList<short>{0, -32768}, [](CLabelVariable &x) { return int(x.atInt16(1)); }, -32768);
    check(QList<ushort>{0, 65535}, [](CLabelVariable &x) { return int(x.atUInt16(1)); }, 65535);
    check(QList<int>{0, INT_MIN}, [](CLabelVariable &x) { return x.atInt32(1); }, INT_MIN);
    check(QList<uint>{0, UINT_MAX}, [](CLabelVariable &x) { return x.atUInt32(1); }, UINT_MAX);
    check(QList<float>{0, -1.5f}, [](CLabelVariable &x) { return x.atFloat(1); }, -1.5f);
    check(QList<qint64>{0, LLONG_MIN}, [](CLabelVariable &x) { return x.atInt64(1); }, qint64(LLONG_MIN));
    check(QList<quint64>{0, ULLONG_MAX}, [](CLabelVariable &x) { return x.atUInt64(1); }, quint64(ULLONG_MAX));
    check(QList<double>{0, 1e300}, [](CLabelVariable &x) { return x.atDouble(1); }, 1e300);
    check(QList<QString>{"", "x"}, [](CLabelVariable &x) { return x.atQString(1); }, QString("x"));
}

// No converter turns one list type into another: a neighbouring width or
// signedness is refused with 11, never reinterpreted.
void TestLabelRecord::accessorsRefuseOtherListTypes()
{
    CLabelVariable r = record(DT_Int16, QList<short>{5, -3});
    QCOMPARE(r.atInt32(0), 0);
    QCOMPARE(r.accessError, 11);
    QCOMPARE(int(r.atUInt16(0)), 0);
    QCOMPARE(r.accessError, 11);

    CLabelVariable bytes = record(DT_Int8, QList<char>{char(0xF0)});
    QCOMPARE(int(bytes.atUInt8(0)), 0);
    QCOMPARE(bytes.accessError, 11);

    CLabelVariable scalar;
    scalar.value = 7;   // a bare number is not a list of one
    QCOMPARE(scalar.atInt32(0), 0);
    QCOMPARE(scalar.accessError, 11);

    CLabelVariable generic;
    generic.value = QVariantList{1, 2};
    QCOMPARE(generic.atInt32(0), 0);
    QCOMPARE(generic.accessError, 11);
}

void TestLabelRecord::positionsOutsideTheList()
{
    CLabelVariable r = record(DT_Int16, QList<short>{5, -3});
    QCOMPARE(int(r.atInt16(1)), -3);
    QCOMPARE(r.accessError, 0);
    for (int pos : {2, -1, INT_MIN, INT_MAX}) {
        r.accessError = 0;
        QCOMPARE(int(r.atInt16(pos)), 0);
        QCOMPARE(r.accessError, 10);
    }

    // The accessors trust the list, not count.
    CLabelVariable shortOfCount = record(DT_UInt16, QList<ushort>{1, 2}, 3);
    QCOMPARE(int(shortOfCount.atUInt16(2)), 0);
    QCOMPARE(shortOfCount.accessError, 10);
    QCOMPARE(shortOfCount.count, 3);
}

void TestLabelRecord::copyTakesAllAssignmentKeepsOwnErrorAndAux()
{
    CLabelVariable source = record(DT_Int32, QList<int>{42});
    source.status = 4;
    source.accessError = 10;
    source.timestamp = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9));
    source.auxValue = 7;
    source.auxText = QStringLiteral("aux");

    const CLabelVariable copy(source);
    compareWithSharedFields(copy, source);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(copy.accessError, 10);
    QCOMPARE(copy.auxValue, 7);

    CLabelVariable target;
    target.accessError = 3;
    target.auxValue = 9;
    target = source;
    QCOMPARE(target.accessError, 3);
    QCOMPARE(target.auxValue, 9);
    compareWithSharedFields(target, source);
}

// The host keeps, converts and iterates the lists through QVariant.
void TestLabelRecord::listsLiveInVariants()
{
    auto check = [](auto list, const char *name) {
        const QVariant v = QVariant::fromValue(list);
        QCOMPARE(v.typeName(), name);
        QVERIFY(v.canConvert<QVariantList>());
        QCOMPARE(v.value<QVariantList>().size(), list.size());
        QCOMPARE(v.value<decltype(list)>(), list);
    };
    check(QList<bool>{true, false}, "QList<bool>");
    check(QList<char>{'a', char(0xF0)}, "QList<char>");
    check(QList<uchar>{1, 2}, "QList<uchar>");
    check(QList<short>{-1, 2}, "QList<short>");
    check(QList<ushort>{1, 2}, "QList<ushort>");
    check(QList<int>{-1, 2}, "QList<int>");
    check(QList<uint>{1, 2}, "QList<uint>");
    check(QList<float>{1.5f, 2}, "QList<float>");
    check(QList<qint64>{-1, 2}, "QList<qlonglong>");
    check(QList<quint64>{1, 2}, "QList<qulonglong>");
    check(QList<double>{1.5, 2}, "QList<double>");
    check(QList<QString>{"a", "b"}, "QList<QString>");
}

QTEST_APPLESS_MAIN(TestLabelRecord)
#include "tst_labelrecord.moc"
