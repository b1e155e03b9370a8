// SPDX-License-Identifier: LGPL-2.1-or-later
// Generators: the values they give at given times in the label's type,
// the same every run, and their text read back as written.

#include "simgenerator.h"

#include <QtTest/QtTest>

#include <set>

class TestSimGenerator : public QObject
{
    Q_OBJECT

private slots:
    void valuesOverTime_data();
    void valuesOverTime();
    void walkIsSeededAndBounded();
    void textReadsBack_data();
    void textReadsBack();
    void refusedWhereTheTypeCannotHoldThem_data();
    void refusedWhereTheTypeCannotHoldThem();
};

void TestSimGenerator::valuesOverTime_data()
{
    QTest::addColumn<QString>("generator");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QList<qint64>>("times");     // ms after the start
    QTest::addColumn<QStringList>("values");      // as SimTypes::text writes them

    using Times = QList<qint64>;
    QTest::newRow("ramp starts over past its end") << "ramp(10, 20, 5, 100ms)" << "uint16" << Times{0, 99, 100, 250, 300}
                                                  << QStringList{"10", "10", "15", "20", "10"};
    QTest::newRow("falling ramp") << "ramp(1, -1, -0.5, 1s)" << "float" << Times{0, 1000, 4000, 5000}
                                  << QStringList{"1", "0.5", "-1", "1"};
    QTest::newRow("ramp rounded to its type") << "ramp(0, 2, 0.6, 10)" << "int16" << Times{10, 20, 30}
                                              << QStringList{"1", "1", "2"};
    QTest::newRow("counter wraps in int16") << "counter(1ms, 16384)" << "int16" << Times{1, 2, 3, 4}
                                            << QStringList{"16384", "-32768", "-16384", "0"};
    QTest::newRow("counter wraps in uint8") << "counter(10ms, 200)" << "uint8" << Times{10, 20}
                                            << QStringList{"200", "144"};
    QTest::newRow("sine") << "sine(0, 100, 4s)" << "double" << Times{0, 1000, 3000} << QStringList{"50", "100", "0"};
    QTest::newRow("sine kept in uint8") << "sine(-100, 300, 4s)" << "uint8" << Times{1000, 3000} << QStringList{"255", "0"};
    QTest::newRow("toggle") << "toggle(500ms)" << "bool" << Times{0, 499, 500, 1000} << QStringList{"0", "0", "1", "0"};
    QTest::newRow("scan") << "scan()" << "uint32" << Times{0, 15, 1000} << QStringList{"0", "1", "100"};
}

void TestSimGenerator::valuesOverTime()
{
    QFETCH(QString, generator);
    QFETCH(QString, type);
    QFETCH(QList<qint64>, times);
    QFETCH(QStringList, values);

    SimGeneratorRecipe recipe;
    QString error;
    QVERIFY2(SimGeneratorRecipe::parse(generator, &recipe, &error), qPrintable(error));
    bool known = false;
    const SimType simType = SimTypes::fromName(type, &known);
    QVERIFY(known);
    SimGenerator running(recipe, simType, 1);
    QStringList got;
    for (const qint64 ms : times)
        got << SimTypes::text(simType, running.valueAt(ms));
    QCOMPARE(got, values);
}

void TestSimGenerator::walkIsSeededAndBounded()
{
    SimGeneratorRecipe recipe;
    QString error;
    QVERIFY(SimGeneratorRecipe::parse(QStringLiteral("walk(15, 25, 4, 100ms)"), &recipe, &error));
    auto run = [&recipe](quint32 seed, qint64 step) {
        SimGenerator walk(recipe, SimType::Double, seed);
        QList<double> values;
        for (qint64 ms = 0; ms <= 20000; ms += step)
            values << SimTypes::toDouble(SimType::Double, walk.valueAt(ms));
        return values;
    };
    const QList<double> once = run(7, 100);
    QCOMPARE(once.first(), 20.0);
    for (const double value : once)
        QVERIFY(value >= 15 && value <= 25);
    QVERIFY(std::set<double>(once.begin(), once.end()).size() > 50);
    // However often it is asked, the same seed walks the same way.
    const QList<double> sparse = run(7, 1000);
    QCOMPARE(sparse.last(), once.last());
    QVERIFY(run(8, 100) != once);
}

void TestSimGenerator::textReadsBack_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("text");
    QTest::newRow("seconds") << " RAMP( 0 , 100 , 2.5 , 2s ) " << "ramp(0, 100, 2.5, 2s)";
    QTest::newRow("milliseconds") << "counter(1500)" << "counter(1500ms)";
    QTest::newRow("counter step") << "counter(1.5s, -2)" << "counter(1500ms, -2)";
    QTest::newRow("walk") << "walk(-1e3, 1e3, 10, 250ms)" << "walk(-1000, 1000, 10, 250ms)";
    QTest::newRow("scan") << "scan( )" << "scan()";
}

void TestSimGenerator::textReadsBack()
{
    QFETCH(QString, written);
    QFETCH(QString, text);
    SimGeneratorRecipe recipe;
    QString error;
    QVERIFY2(SimGeneratorRecipe::parse(written, &recipe, &error), qPrintable(error));
    QCOMPARE(recipe.text(), text);
    SimGeneratorRecipe again;
    QVERIFY(SimGeneratorRecipe::parse(text, &again, &error));
    QCOMPARE(again.text(), text);
}

// A generator whose values its label's type cannot hold would stick at the
// type's limit, and a step that rounds to nothing would never move: both
// are refused before they run. An empty reason: accepted.
void TestSimGenerator::refusedWhereTheTypeCannotHoldThem_data()
{
    QTest::addColumn<QString>("generator");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("reason");

    QTest::newRow("bool toggle") << "toggle(1s)" << "bool" << "";
    QTest::newRow("bool ramp 0 to 1") << "ramp(0, 1, 1, 1s)" << "bool" << "";
    QTest::newRow("bool sine past 1") << "sine(0, 2, 1s)" << "bool" << "HIGH \"2\" is out of range for bool (0 to 1)";
    QTest::newRow("bool counter step 2") << "counter(1s, 2)" << "bool" << "STEP 2 is more than the whole range of bool";
    QTest::newRow("int8 walk") << "walk(-128, 127, 255, 1s)" << "int8" << "";
    QTest::newRow("int8 walk below") << "walk(-129, 0, 1, 1s)" << "int8" << "LOW \"-129\" is out of range for int8 (-128 to 127)";
    QTest::newRow("uint8 falling ramp") << "ramp(255, 0, -5, 1s)" << "uint8" << "";
    QTest::newRow("uint8 step too long") << "walk(0, 255, 256, 1s)" << "uint8" << "STEP 256 is more than the whole range of uint8 (0 to 255)";
    QTest::newRow("int16 ramp past its top") << "ramp(32000, 100000, 500, 10ms)" << "int16"
                                             << "ramp(32000, 100000, 500, 10ms): END \"100000\" is out of range for int16 (-32768 to 32767)";
    QTest::newRow("int16 rounds into range") << "ramp(-32768.4, 32767.4, 1000, 1s)" << "int16" << "";
    QTest::newRow("int16 counter wraps") << "counter(1ms, -16384)" << "int16" << "";
    QTest::newRow("int16 counter step rounds to 0") << "counter(1s, 0.4)" << "int16"
                                                    << "STEP 0.4 rounds to 0 in int16, the counter would never move";
    QTest::newRow("uint16 below 0") << "sine(-1, 10, 1s)" << "uint16" << "LOW \"-1\" is out of range for uint16 (0 to 65535)";
    QTest::newRow("uint16 counter step 70000") << "counter(1s, 70000)" << "uint16" << "STEP 70000 is more than the whole range of uint16";
    QTest::newRow("int32 full range") << "ramp(-2147483648, 2147483647, 65536, 1s)" << "int32" << "";
    QTest::newRow("uint32 past its top") << "ramp(0, 4294967296, 1, 1s)" << "uint32" << "END \"4294967296\" is out of range for uint32";
    QTest::newRow("int64 ramp") << "ramp(-1e18, 1e18, 1e15, 1s)" << "int64" << "";
    QTest::newRow("uint64 below 0") << "walk(-1, 1, 1, 1s)" << "uint64" << "LOW \"-1\" is out of range for uint64";
    QTest::newRow("float counter of fractions") << "counter(1s, 0.25)" << "float" << "";
    QTest::newRow("float past its largest") << "sine(0, 1e39, 1s)" << "float" << "HIGH \"1e+39\" is out of range for float";
    QTest::newRow("double holds any number") << "ramp(-1e300, 1e300, 1e298, 1s)" << "double" << "";
    QTest::newRow("scan in any type") << "scan()" << "bool" << "";
}

void TestSimGenerator::refusedWhereTheTypeCannotHoldThem()
{
    QFETCH(QString, generator);
    QFETCH(QString, type);
    QFETCH(QString, reason);
    SimGeneratorRecipe recipe;
    QString error;
    QVERIFY2(SimGeneratorRecipe::parse(generator, &recipe, &error), qPrintable(error));
    bool known = false;
    const SimType simType = SimTypes::fromName(type, &known);
    QVERIFY(known);
    const QString problem = recipe.problemIn(simType);
    if (reason.isEmpty())
        QVERIFY2(problem.isEmpty(), qPrintable(problem));
    else
        QVERIFY2(problem.contains(reason), qPrintable(problem));
}

QTEST_GUILESS_MAIN(TestSimGenerator)
#include "tst_simgenerator.moc"
