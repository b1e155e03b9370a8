// SPDX-License-Identifier: LGPL-2.1-or-later
// Element-wise arithmetic and comparison of label records.

#include "records.h"

#include <QtTest>

#include <climits>
#include <cmath>
#include <limits>

class TestLabelArithmetic : public QObject
{
    Q_OBJECT

private slots:
    void resultDescribesRightOperand();
    void integersWrapAtEveryWidth();
    void integerDivision();
    void integerDivisionByZeroGivesZero();
    void bits();
    void floatsFollowIeee();
    void lengthGuard();
    void unsupportedLeftTypes();
    void textType();
    void variantsComputeAsTheirBaseType();
    void comparison();
};

enum Op { Add, Sub, Mul, Div };

static CLabelVariable apply(Op op, CLabelVariable &l, const CLabelVariable &r)
{
    switch (op) {
    case Add: return l + r;
    case Sub: return l - r;
    case Mul: return l * r;
    case Div: break;
    }
    return l / r;
}

// a op b on one-element records of the given type; the result's only element.
template<typename T>
static T one(DataType type, T a, Op op, T b)
{
    CLabelVariable l = record(type, QList<T>{a});
    const CLabelVariable r = record(type, QList<T>{b});
    const CLabelVariable result = apply(op, l, r);
    const QList<T> list = result.value.value<QList<T>>();
    if (result.value.userType() != qMetaTypeId<QList<T>>() || list.size() != 1) {
        QTest::qFail("no one-element list of the left operand's type", __FILE__, __LINE__);
        return T();
    }
    return list.first();
}

void TestLabelArithmetic::resultDescribesRightOperand()
{
    CLabelVariable left = record(DT_Int16, QList<short>{1000, -2});
    left.status = 5;
    left.address = QStringLiteral("D1");
    left.auxValue = 3;
    CLabelVariable right = record(DT_Int16, QList<short>{30000, 5});
    right.status = 0;
    right.address = QStringLiteral("D2");
    right.auxValue = 4;
    right.auxText = QStringLiteral("aux");
    right.accessError = 10;
    const CLabelVariable &readOnlyRight = right;

    const QDateTime before = QDateTime::currentDateTime();
    const CLabelVariable sum = left + readOnlyRight;
    const QDateTime after = QDateTime::currentDateTime();

    QCOMPARE(sum.value.userType(), qMetaTypeId<QList<short>>());
    QCOMPARE(sum.value.value<QList<short>>(), (QList<short>{31000, 3}));
    QCOMPARE(sum.status, 0);
    QCOMPARE(sum.address, QStringLiteral("D2"));
    QCOMPARE(sum.count, 2);
    QCOMPARE(sum.type, DT_Int16);
    QCOMPARE(sum.auxText, QStringLiteral("aux"));
    QCOMPARE(sum.accessError, 1);
    QCOMPARE(sum.auxValue, 0);
    QVERIFY(sum.timestamp >= before && sum.timestamp <= after);
    // Both operands were read through the accessors; nothing else changed.
    QCOMPARE(left.accessError, 0);
    QCOMPARE(right.accessError, 0);
    QCOMPARE(left.value.value<QList<short>>(), (QList<short>{1000, -2}));
    QCOMPARE(left.status, 5);
}

void TestLabelArithmetic::integersWrapAtEveryWidth()
{
    QCOMPARE(int(one<char>(DT_Int8, char(0xF0), Add, 0x20)), 0x10);
    QCOMPARE(int(one<char>(DT_Int8, 0x10, Mul, 0x10)), 0);
    QCOMPARE(int(one<uchar>(DT_UInt8, 10, Sub, 20)), 246);
    QCOMPARE(int(one<uchar>(DT_UInt8, 200, Mul, 2)), 144);
    QCOMPARE(int(one<short>(DT_Int16, 30000, Add, 30000)), -5536);
    QCOMPARE(int(one<short>(DT_Int16, -32768, Sub, 1)), 32767);
    QCOMPARE(int(one<short>(DT_Int16, 256, Mul, 256)), 0);
    QCOMPARE(int(one<ushort>(DT_UInt16, 65535, Add, 1)), 0);
    // Would overflow int if the halves were multiplied after promotion.
    QCOMPARE(int(one<ushort>(DT_UInt16, 65535, Mul, 65535)), 1);
    QCOMPARE(one<int>(DT_Int32, INT_MAX, Add, 1), INT_MIN);
    QCOMPARE(one<int>(DT_Int32, INT_MIN, Sub, 1), INT_MAX);
    QCOMPARE(one<int>(DT_Int32, 65536, Mul, 65536), 0);
    QCOMPARE(one<int>(DT_Int32, INT_MIN, Mul, -1), INT_MIN);
    QCOMPARE(one<uint>(DT_UInt32, 0, Sub, 1), UINT_MAX);
    QCOMPARE(one<uint>(DT_UInt32, 65536, Mul, 65536), 0u);
    QCOMPARE(one<qint64>(DT_Int64, LLONG_MAX, Add, 1), qint64(LLONG_MIN));
    QCOMPARE(one<qint64>(DT_Int64, LLONG_MIN, Mul, -1), qint64(LLONG_MIN));
    QCOMPARE(one<quint64>(DT_UInt64, 0, Sub, 1), quint64(ULLONG_MAX));
    QCOMPARE(one<quint64>(DT_UInt64, ULLONG_MAX, Mul, ULLONG_MAX), quint64(1));
}

void TestLabelArithmetic::integerDivision()
{
    // Bytes divide unsigned: 0xF0 is 240, not -16.
    QCOMPARE(int(one<char>(DT_Int8, char(0xF0), Div, 2)), 120);
    QCOMPARE(int(one<uchar>(DT_UInt8, 255, Div, 2)), 127);
    QCOMPARE(int(one<short>(DT_Int16, -7, Div, 2)), -3);
    QCOMPARE(int(one<short>(DT_Int16, -32768, Div, -1)), -32768);
    QCOMPARE(int(one<ushort>(DT_UInt16, 65535, Div, 2)), 32767);
    QCOMPARE(one<int>(DT_Int32, -7, Div, 2), -3);
    QCOMPARE(one<int>(DT_Int32, INT_MIN, Div, -1), INT_MIN);
    QCOMPARE(one<int>(DT_Int32, INT_MIN, Div, 1), INT_MIN);
    QCOMPARE(one<uint>(DT_UInt32, UINT_MAX, Div, 2), UINT_MAX / 2);
    QCOMPARE(one<qint64>(DT_Int64, LLONG_MIN, Div, -1), qint64(LLONG_MIN));
    QCOMPARE(one<qint64>(DT_Int64, -9, Div, 4), qint64(-2));
    QCOMPARE(one<quint64>(DT_UInt64, ULLONG_MAX, Div, 16), quint64(ULLONG_MAX >> 4));
}

void TestLabelArithmetic::integerDivisionByZeroGivesZero()
{
    QCOMPARE(one<bool>(DT_Bool, true, Div, false), false);
    QCOMPARE(int(one<char>(DT_Int8, char(0xF0), Div, 0)), 0);
    QCOMPARE(int(one<uchar>(DT_UInt8, 7, Div, 0)), 0);
    QCOMPARE(int(one<short>(DT_Int16, -32768, Div, 0)), 0);
    QCOMPARE(int(one<ushort>(DT_UInt16, 7, Div, 0)), 0);
    QCOMPARE(one<int>(DT_Int32, INT_MIN, Div, 0), 0);
    QCOMPARE(one<uint>(DT_UInt32, 7, Div, 0), 0u);
    QCOMPARE(one<qint64>(DT_Int64, LLONG_MIN, Div, 0), qint64(0));
    QCOMPARE(one<quint64>(DT_UInt64, 7, Div, 0), quint64(0));

    // Only the element whose divisor is zero is affected.
    CLabelVariable l = record(DT_Int32, QList<int>{10, 10, 10});
    const CLabelVariable r = record(DT_Int32, QList<int>{2, 0, -5});
    QCOMPARE((l / r).value.value<QList<int>>(), (QList<int>{5, 0, -2}));
}

void TestLabelArithmetic::bits()
{
    const QList<bool> a{false, false, true, true};
    const QList<bool> b{false, true, false, true};
    CLabelVariable l = record(DT_Bool, a);
    const CLabelVariable r = record(DT_Bool, b);
    QCOMPARE((l + r).value.value<QList<bool>>(), (QList<bool>{false, true, true, true}));
    QCOMPARE((l - r).value.value<QList<bool>>(), (QList<bool>{false, true, true, false}));
    QCOMPARE((l * r).value.value<QList<bool>>(), (QList<bool>{false, false, false, true}));
    QCOMPARE((l / r).value.value<QList<bool>>(), (QList<bool>{false, false, false, true}));
}

void TestLabelArithmetic::floatsFollowIeee()
{
    const float fInf = std::numeric_limits<float>::infinity();
    QCOMPARE(one<float>(DT_Float, 1.0f, Div, 0.0f), fInf);
    QCOMPARE(one<float>(DT_Float, -1.0f, Div, 0.0f), -fInf);
    QVERIFY(std::isnan(one<float>(DT_Float, 0.0f, Div, 0.0f)));
    QCOMPARE(one<float>(DT_Float, 3.4e38f, Mul, 10.0f), fInf);
    QCOMPARE(one<float>(DT_Float, 0.1f, Add, 0.2f), 0.1f + 0.2f);

    const double dInf = std::numeric_limits<double>::infinity();
    QCOMPARE(one<double>(DT_Double, 1.0, Div, 0.0), dInf);
    QCOMPARE(one<double>(DT_Double, -1.0, Div, 0.0), -dInf);
    QVERIFY(std::isnan(one<double>(DT_Double, 0.0, Div, 0.0)));
    QVERIFY(std::isnan(one<double>(DT_Double, dInf, Sub, dInf)));

    // NaN is unequal to everything, itself included; 0.0 equals -0.0.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    CLabelVariable a = record(DT_Double, QList<double>{nan});
    const CLabelVariable b = record(DT_Double, QList<double>{nan});
    QVERIFY(!(a == b));
    QVERIFY(!(a == a));
    CLabelVariable fa = record(DT_Float, QList<float>{std::nanf("")});
    QVERIFY(!(fa == fa));
    CLabelVariable zero = record(DT_Float, QList<float>{0.0f});
    QVERIFY(zero == record(DT_Float, QList<float>{-0.0f}));
}

// Lists that do not both hold exactly the left count of elements are
// never read: empty result, false comparison, accessError untouched.
void TestLabelArithmetic::lengthGuard()
{
    const QList<CLabelVariable> rights{
        record(DT_Int16, QList<short>{1, 2}),
        record(DT_Int16, QList<short>{1, 2, 3}),
        record(DT_Int16, QList<short>{1, 2, 3, 4}),
    };
    const QList<CLabelVariable> lefts{
        record(DT_Int16, QList<short>{1, 2}, 3),
        record(DT_Int16, QList<short>{1, 2, 3}),
        record(DT_Int16, QList<int>{1, 2, 3}),   // not convertible: no list
    };
    for (int li = 0; li < lefts.size(); ++li) {
        for (int ri = 0; ri < rights.size(); ++ri) {
            if (li == 1 && ri == 1)
                continue;   // the one matching pair
            CLabelVariable l = lefts.at(li);
            CLabelVariable r = rights.at(ri);
            r.count = l.count;
            l.accessError = 5;
            r.accessError = 6;
            for (Op op : {Add, Sub, Mul, Div}) {
                const CLabelVariable result = apply(op, l, r);
                QCOMPARE(result.value.userType(), qMetaTypeId<QList<short>>());
                QVERIFY(result.value.value<QList<short>>().isEmpty());
                QCOMPARE(result.status, 0);
            }
            QVERIFY(!(l == r));
            QCOMPARE(l.accessError, 5);
            QCOMPARE(r.accessError, 6);
        }
    }
}

void TestLabelArithmetic::unsupportedLeftTypes()
{
    const CLabelVariable r = record(DT_Int32, QList<int>{1});
    const QList<int> unsupported{DT_None, 25, 32, 41, -1, 1000, INT_MIN};
    for (int type : unsupported) {
        CLabelVariable l = record(static_cast<DataType>(type), QList<int>{1});
        l.accessError = 5;
        for (Op op : {Add, Sub, Mul, Div}) {
            compareWithFreshFields(apply(op, l, r));
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(l.accessError, 5);

        // Comparison falls back to the fields alone.
        CLabelVariable same = l;
        same.value = QVariant::fromValue(QList<int>{2});
        QVERIFY(l == same);
        same.status = 3;
        QVERIFY(!(l == same));
    }
}

// Text compares as text; "+" on it adds doubles; nothing else computes.
void TestLabelArithmetic::textType()
{
    CLabelVariable words = record(DT_QString, QList<QString>{"a", "b"});
    const CLabelVariable other = record(DT_QString, QList<QString>{"c", "d"});
    const CLabelVariable sum = words + other;
    QCOMPARE(sum.value.userType(), qMetaTypeId<QList<double>>());
    QVERIFY(sum.value.value<QList<double>>().isEmpty());
    QCOMPARE(sum.type, DT_QString);
    QVERIFY(!sum.timestamp.isNull());
    QCOMPARE(one<double>(DT_QString, 1.5, Add, 2.0), 3.5);
    for (Op op : {Sub, Mul, Div}) {
        const CLabelVariable result = apply(op, words, other);
        QVERIFY(!result.value.isValid());
        QVERIFY(result.timestamp.isNull());
    }

    QVERIFY(!(words == other));
    QVERIFY(words == record(DT_QString, QList<QString>{"a", "b"}));
}

void TestLabelArithmetic::variantsComputeAsTheirBaseType()
{
    QCOMPARE(int(one<short>(DT_Int16_V2, 30000, Add, 30000)), -5536);
    QCOMPARE(int(one<ushort>(DT_UInt16_V1, 0, Sub, 1)), 65535);
    QCOMPARE(one<int>(DT_Int32_V4, INT_MIN, Div, -1), INT_MIN);
    QCOMPARE(one<uint>(DT_UInt32_V3, 0, Sub, 1), UINT_MAX);
    QCOMPARE(one<float>(DT_Float_V2, 1.0f, Div, 0.0f), std::numeric_limits<float>::infinity());
    QCOMPARE(one<double>(DT_Double_V4, 1.5, Mul, 2.0), 3.0);

    // The result's type comes from the right operand, whatever list it holds.
    CLabelVariable l = record(DT_Int32_V2, QList<int>{1, 2});
    const CLabelVariable r = record(DT_Int32, QList<int>{10, 20});
    const CLabelVariable sum = l + r;
    QCOMPARE(sum.type, DT_Int32);
    QCOMPARE(sum.value.value<QList<int>>(), (QList<int>{11, 22}));
    QVERIFY(!(l == r));   // records of different type never compare equal
}

void TestLabelArithmetic::comparison()
{
    CLabelVariable a = record(DT_Int32, QList<int>{1, 2});
    CLabelVariable b = record(DT_Int32, QList<int>{1, 2});
    a.accessError = 10;
    a.auxValue = 1;
    a.timestamp = QDateTime::currentDateTime();
    b.auxValue = 2;
    QVERIFY(a == b);
    QCOMPARE(a.accessError, 0);
    QCOMPARE(b.accessError, 0);

    b.value = QVariant::fromValue(QList<int>{1, 3});
    QVERIFY(!(a == b));

    // Each compared field decides on its own, elements equal or not.
    auto differ = [&](auto change) {
        CLabelVariable c = a;
        change(c);
        return !(a == c);
    };
    QVERIFY(differ([](CLabelVariable &c) { c.status = 9; }));
    QVERIFY(differ([](CLabelVariable &c) { c.address = "D101"; }));
    QVERIFY(differ([](CLabelVariable &c) { c.auxText = "x"; }));
    QVERIFY(differ([](CLabelVariable &c) { c.type = DT_Int32_V1; }));

    CLabelVariable emptyA = record(DT_UInt16, QList<ushort>{});
    const CLabelVariable emptyB = record(DT_UInt16, QList<ushort>{});
    QVERIFY(emptyA == emptyB);
    CLabelVariable emptyC = emptyB;
    emptyC.status = 2;
    QVERIFY(!(emptyA == emptyC));
}

QTEST_APPLESS_MAIN(TestLabelArithmetic)
#include "tst_labelarithmetic.moc"
