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

QTEST_GUILESS_MAIN(TestSimGenerator)
#include "tst_simgenerator.moc"
