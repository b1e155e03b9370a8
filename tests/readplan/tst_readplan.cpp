// SPDX-License-Identifier: LGPL-2.1-or-later
// Labels merged into reads: which runs a set of labels becomes, and what the
// merged reads give, held against the driver reading each label alone from
// the same simulated PLC.

#include "MergedReader.h"
#include "PlcBench.h"

#include <QtTest/QtTest>

#include <algorithm>

using namespace ReadPlan;

namespace {

// "D100 int16 2, X5 bool" into items.
QVector<Item> itemsOf(const QString &text)
{
    QVector<Item> items;
    for (const QString &entry : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QStringList words = entry.simplified().split(QLatin1Char(' '));
        static const QMap<QString, DataType> types{
            {"bool", DT_Bool},     {"int8", DT_Int8},     {"uint8", DT_UInt8},
            {"int16", DT_Int16},   {"uint16", DT_UInt16}, {"int32", DT_Int32},
            {"uint32", DT_UInt32}, {"float", DT_Float},   {"int64", DT_Int64},
            {"uint64", DT_UInt64}, {"double", DT_Double}};
        items.append(item(words.at(0), types.value(words.at(1)), words.value(2, "1").toInt()));
    }
    return items;
}

// Each run as "LABEL xUNITS: item@offset ...".
QString describe(const QVector<Run> &runs)
{
    QStringList parts;
    for (const Run &run : runs) {
        QStringList slices;
        for (const Slice &slice : run.slices)
            slices << QStringLiteral("%1@%2").arg(slice.item).arg(slice.offset);
        parts << QStringLiteral("%1 x%2: %3").arg(run.label).arg(run.units).arg(slices.join(' '));
    }
    return parts.join(QStringLiteral(" | "));
}

// A list the driver returned, element by element (QVariant compares lists
// of these types by address).
QVariantList elements(const QVariant &list)
{
    QVariantList values;
    for (const QVariant &value : list.value<QSequentialIterable>())
        values.append(value);
    return values;
}

} // namespace

class ReadPlanTest : public QObject
{
    Q_OBJECT

private slots:
    void plans_data();
    void plans();
    void halves();
    void mergedReadsGiveWhatSingleReadsGive_data();
    void mergedReadsGiveWhatSingleReadsGive();
    void refusedRunIsSplitWithoutShiftingValues();
    void failedRunFailsEachLabelWithoutRetry();
};

void ReadPlanTest::plans_data()
{
    QTest::addColumn<QString>("items");
    QTest::addColumn<bool>("merge");
    QTest::addColumn<QString>("cut"); // a learnt cut: "D103", or empty
    QTest::addColumn<QString>("runs");

    QTest::newRow("neighbours and a gap within the limit")
        << "D100 int16, D101 int16, D104 int32" << true << "" << "D100 x6: 0@0 1@1 2@4";
    QTest::newRow("a gap of four registers is read, of five is not")
        << "D100 int16, D105 int16, D111 int16" << true << "" << "D100 x6: 0@0 1@5 | D111 x1: 2@0";
    QTest::newRow("address order, whatever the items' order")
        << "D105 int16, D100 int16" << true << "" << "D100 x6: 1@0 0@5";
    QTest::newRow("overlapping labels share units")
        << "D100 int32, D101 int16, D100 uint8 2" << true << "" << "D100 x2: 0@0 2@0 1@1";
    QTest::newRow("areas never mix, whatever the spelling")
        << "D100 int16, R100 int16, HR101 int16, TMR5 int16" << true << ""
        << "D100 x1: 0@0 | R100 x2: 1@0 2@1 | TMR5 x1: 3@0";
    QTest::newRow("one request takes 255 units")
        << "D0 int16 200, D200 int16 55, D255 int16" << true << ""
        << "D0 x255: 0@0 1@200 | D255 x1: 2@0";
    QTest::newRow("words of a bit area: only labels 16 bits apart share a run")
        << "M16 int16, M32 uint16, M20 int16, M48 bool 3" << true << ""
        << "M16 x3: 0@0 1@1 3@2 | M20 x1: 2@0";
    QTest::newRow("X and Y are read bit by bit")
        << "X0 bool, X5 bool 2, X8 int16, Y0 bool" << true << ""
        << "X0 x24: 0@0 1@5 2@8 | Y0 x1: 3@0";
    QTest::newRow("merging off: each label alone")
        << "D100 int16, D101 int16" << false << "" << "D100 x1: 0@0 | D101 x1: 1@0";
    QTest::newRow("what cannot be read goes alone, to be refused by the driver")
        << "D0 int16 300, Q5 int16, D1 int16, D2 int16" << true << ""
        << "D0 x300: 0@0 | Q5 x1: 1@0 | D1 x2: 2@0 3@1";
    QTest::newRow("a learnt cut parts the labels around it")
        << "D100 int16, D101 int16, D103 int16, D104 int16" << true << "D103"
        << "D100 x2: 0@0 1@1 | D103 x2: 2@0 3@1";
}

void ReadPlanTest::plans()
{
    QFETCH(QString, items);
    QFETCH(bool, merge);
    QFETCH(QString, cut);
    QFETCH(QString, runs);
    Settings settings;
    settings.merge = merge;
    Lessons lessons;
    if (!cut.isEmpty()) {
        const Item at = item(cut, DT_Int16, 1);
        lessons.cuts.append({at.area, 0, at.element});
    }
    QCOMPARE(describe(plan(itemsOf(items), settings, lessons)), runs);
}

void ReadPlanTest::halves()
{
    const QVector<Item> items = itemsOf("D100 int16, D103 int32, D101 int16");
    const QVector<Run> runs = plan(items, Settings());
    QCOMPARE(runs.size(), 1);
    const Halves halves = split(runs.first(), items);
    QCOMPARE(describe({halves.first}), QStringLiteral("D100 x2: 0@0 2@1"));
    QCOMPARE(describe({halves.second}), QStringLiteral("D103 x2: 1@0"));
    QCOMPARE(halves.cut.position, qint64(103));
}

void ReadPlanTest::mergedReadsGiveWhatSingleReadsGive_data()
{
    QTest::addColumn<QString>("items");
    QTest::addColumn<int>("runs");
    QTest::newRow("every type from registers")
        << "D10 bool 20, D12 int8 3, D14 uint8, D15 int16 2, D17 uint16, D18 int32, D20 uint32,"
           " D22 float 2, D26 int64, D30 uint64, D34 double, D38 int16, D11 int32, HR7 uint16, HR9 int32"
        << 2;
    QTest::newRow("every type from X bits")
        << "X0 bool 5, X3 int8, X12 uint8 2, X32 int16, X48 uint16, X64 int32, X96 float,"
           " X128 int64, X180 double, X7 bool"
        << 1;
    QTest::newRow("words of M and timers")
        << "M16 int16, M32 bool 18, M64 int32, M17 uint16, TMR5 int16, TMR6 uint16 2" << 3;
}

void ReadPlanTest::mergedReadsGiveWhatSingleReadsGive()
{
    QFETCH(QString, items);
    QFETCH(int, runs);
    PlcBench bench;
    // Every unit differs from its neighbours, so a value taken one unit off
    // cannot pass for the right one.
    for (int n = 0; n < 300; ++n) {
        const quint16 word = quint16(n * 40503u + 0x1357);
        for (SimArea area : {SimArea::D, SimArea::R, SimArea::RT})
            bench.memory.setValue(area, n, word);
        for (SimArea area : {SimArea::X, SimArea::M})
            bench.memory.setValue(area, n, (word >> 5) & 1);
    }
    QVERIFY(bench.connectTcp());
    const QVector<Item> list = itemsOf(items);
    MergedReader reader(list, Settings());
    QVERIFY2(reader.runs().size() == runs, qPrintable(describe(reader.runs())));
    const QVector<MergedReader::Result> merged = reader.read(bench.driver);
    QCOMPARE(reader.requests(), runs);
    for (int i = 0; i < list.size(); ++i) {
        const CLabelVariable alone = bench.driver.ReadVariable(list.at(i).label, list.at(i).type,
                                                               list.at(i).count);
        QCOMPARE(alone.status, 0);
        QCOMPARE(merged.at(i).status, 0);
        QCOMPARE(merged.at(i).value.userType(), alone.value.userType());
        QCOMPARE(elements(merged.at(i).value), elements(alone.value));
    }
}

void ReadPlanTest::refusedRunIsSplitWithoutShiftingValues()
{
    PlcBench bench;
    for (int n = 0; n < 20; ++n)
        bench.memory.setValue(SimArea::D, 100 + n, quint16(1000 + n));
    // The PLC has no D105: every read over it is refused.
    bench.plc.setResponder([&bench](const QByteArray &frame) {
        const SimRequest request = SimFrame::parseRequest(frame);
        if (request.start <= 105 && 105 < request.start + request.count)
            return SimFrame::answer(request, '2');
        return SimFrame::answer(request, SimErrorCode::none,
            SimFrame::registerData(bench.memory.memory().readRun(request.area, request.start, request.count)));
    });
    QVERIFY(bench.connectTcp());
    const QVector<Item> items = itemsOf("D100 int16, D102 int16, D105 int16, D107 int16, D109 int32");
    MergedReader reader(items, Settings());
    QCOMPARE(reader.runs().size(), 1);
    for (int cycle = 0; cycle < 2; ++cycle) {
        // Each run's items are passed on once, with their final results.
        QVector<int> passedOn;
        QVector<MergedReader::Result> early(items.size());
        const QVector<MergedReader::Result> results =
            reader.read(bench.driver, [&](const QVector<MergedReader::Result> &now, const QVector<int> &run) {
                for (int item : run) {
                    passedOn.append(item);
                    early[item] = now.at(item);
                }
            });
        std::sort(passedOn.begin(), passedOn.end());
        QCOMPARE(passedOn, (QVector<int>{0, 1, 2, 3, 4}));
        for (int i = 0; i < items.size(); ++i) {
            QCOMPARE(early.at(i).status, results.at(i).status);
            QCOMPARE(early.at(i).value, results.at(i).value);
        }
        const QList<int> expected{1000, 1002, -1, 1007};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(results.at(i).status, i == 2 ? 7 : 0);
            if (i != 2)
                QCOMPARE(results.at(i).value.value<QList<short>>(), QList<short>{short(expected.at(i))});
        }
        QCOMPARE(results.at(4).value.value<QList<int>>(), QList<int>{1010 << 16 | 1009});
        // The first cycle searched; the next reads around the refused label.
        QCOMPARE(reader.requests(), cycle == 0 ? 5 : 3);
    }
}

void ReadPlanTest::failedRunFailsEachLabelWithoutRetry()
{
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    const QVector<Item> items = itemsOf("D100 int16, D101 int16, D102 int16");
    MergedReader reader(items, Settings());
    bench.plc.setResponder([](const QByteArray &) { return QByteArray(); });
    const QVector<MergedReader::Result> results = reader.read(bench.driver);
    QCOMPARE(reader.requests(), 1);
    for (const MergedReader::Result &result : results) {
        QCOMPARE(result.status, 8);
        QVERIFY(!result.value.isValid());
    }
}

QTEST_GUILESS_MAIN(ReadPlanTest)
#include "tst_readplan.moc"
