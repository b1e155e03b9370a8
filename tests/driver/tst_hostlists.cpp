// SPDX-License-Identifier: LGPL-2.1-or-later
// The lists a host puts into a record for WriteVariable and gets from
// ReadVariable, type by type, with the counts one request takes: run against
// the scripted PLC and held against the tables of the README and of
// CDriveBaseClass.h, which hosts write their code from.

#include "PlcBench.h"

#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include <type_traits>

namespace {

// One row of the documented table.
struct ListRow
{
    DataType type;
    QString name;           // "DT_Int16"
    QString list;           // the list type, as the tables spell it
    int listTypeId;         // the same as Qt knows it
    QVariant (*make)(int n); // n values in that list, none of them 0
    bool (*same)(const QVariant &a, const QVariant &b);
    QList<QVariant> guesses; // what hosts try instead; refused with 2
    int mostRegisters;       // values one read of a register area returns
    int mostBits;            // values one read of X or Y returns
    int mostWritten;         // values one write takes; 0: not writable
};

template <typename T>
QVariant listOf(int n)
{
    QList<T> values;
    for (int i = 0; i < n; ++i)
        values.append(std::is_same<T, bool>::value ? T(i % 2 == 0) : T(-(i % 100) - 2));
    return QVariant::fromValue(values);
}

template <typename T>
bool sameList(const QVariant &a, const QVariant &b)
{
    return a.value<QList<T>>() == b.value<QList<T>>();
}

template <typename T>
ListRow row(DataType type, const char *name, const char *list, QList<QVariant> guesses,
            int mostRegisters, int mostBits, int mostWritten)
{
    return {type, QString::fromLatin1(name), QString::fromLatin1(list), qMetaTypeId<QList<T>>(),
            &listOf<T>, &sameList<T>, guesses, mostRegisters, mostBits, mostWritten};
}
#define ROW(T, type, ...) row<T>(type, #type, __VA_ARGS__)

template <typename T>
QVariant two()
{
    return QVariant::fromValue(QList<T>{2, 3});
}

QList<ListRow> documentedRows()
{
    // On 64-bit Linux long is int64_t, and unsigned long uint64_t.
    const QVariant number(2);
    const QVariant variants(QVariantList{2, 3});
    return {
        ROW(bool, DT_Bool, "QList<bool>", {number, variants}, 4080, 255, 0),
        ROW(char, DT_Int8, "QList<char>", {number, variants, two<qint8>(), two<unsigned char>()},
            510, 31, 510),
        ROW(unsigned char, DT_UInt8, "QList<unsigned char>", {number, variants, two<char>()},
            510, 31, 510),
        ROW(short, DT_Int16, "QList<short>",
            {number, variants, two<int>(), QVariant::fromValue(QVector<short>{2, 3}),
             two<unsigned short>()},
            255, 15, 255),
        ROW(unsigned short, DT_UInt16, "QList<unsigned short>",
            {number, variants, two<int>(), two<short>()}, 255, 15, 255),
        ROW(int, DT_Int32, "QList<int>", {number, variants, two<long>()}, 127, 7, 127),
        ROW(unsigned int, DT_UInt32, "QList<unsigned int>", {number, variants, two<int>()},
            127, 7, 127),
        ROW(float, DT_Float, "QList<float>", {QVariant(2.5f), variants, two<double>()},
            127, 7, 127),
        ROW(qint64, DT_Int64, "QList<qint64>", {number, variants, two<int>(), two<long>()},
            63, 3, 63),
        ROW(quint64, DT_UInt64, "QList<quint64>",
            {number, variants, two<qint64>(), two<unsigned long>()}, 63, 3, 63),
        ROW(double, DT_Double, "QList<double>", {QVariant(2.5), variants, two<float>()},
            63, 3, 63),
    };
}

// A table's rows as "DT_X QList<...> mostRegisters mostBits write", from the
// lines of the file that match the pattern, its captures in that order.
QStringList tableRows(const QString &path, const QRegularExpression &pattern)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {QStringLiteral("cannot read %1").arg(path)};
    QStringList rows;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &line : lines) {
        const QRegularExpressionMatch m = pattern.match(line);
        if (m.hasMatch()) {
            rows << QStringList{m.captured(1), m.captured(2), m.captured(3), m.captured(4),
                                m.captured(5).trimmed()}.join(QLatin1Char(' '));
        }
    }
    return rows;
}

} // namespace

Q_DECLARE_METATYPE(ListRow)

class TestHostLists : public QObject
{
    Q_OBJECT
private slots:
    void rows_data();
    void listsOfEachType();
    void listsOfEachType_data() { rows_data(); }
    void countsOfOneRequest();
    void countsOfOneRequest_data() { rows_data(); }
    void tablesSayWhatTheDriverDoes();
};

void TestHostLists::rows_data()
{
    QTest::addColumn<ListRow>("row");
    for (const ListRow &r : documentedRows())
        QTest::newRow(qPrintable(r.list)) << r;
}

// What the host writes comes back in the same list, which a read of a bit
// area gives too; what hosts guess instead is refused before anything is sent.
void TestHostLists::listsOfEachType()
{
    QFETCH(ListRow, row);
    PlcBench bench;
    QVERIFY(bench.connectTcp());
    const int count = row.mostWritten ? 2 : 16;
    const QVariant values = row.make(count);

    CLabelVariable record;
    record.value = values;
    QCOMPARE(bench.driver.WriteVariable("D200", row.type, record, count).status,
             row.mostWritten ? 0 : 2);
    if (!row.mostWritten) // bits: written as the word of the same pattern
        bench.memory.setValue(SimArea::D, 200, 0x5555);
    CLabelVariable read = bench.driver.ReadVariable("D200", row.type, count);
    QCOMPARE(read.status, 0);
    QCOMPARE(read.value.userType(), row.listTypeId);
    QVERIFY(row.same(read.value, values));

    read = bench.driver.ReadVariable("X32", row.type, 1);
    QCOMPARE(read.status, 0);
    QCOMPARE(read.value.userType(), row.listTypeId);

    bench.plc.clearRequests();
    for (const QVariant &guess : row.guesses) {
        record.value = guess;
        QCOMPARE(bench.driver.WriteVariable("D200", row.type, record, 2).status, 2);
    }
    QVERIFY(bench.plc.requests().isEmpty());
}

// The most values one request takes, and one more refused with 5.
void TestHostLists::countsOfOneRequest()
{
    QFETCH(ListRow, row);
    PlcBench bench;
    QVERIFY(bench.connectTcp());

    CLabelVariable read = bench.driver.ReadVariable("D0", row.type, row.mostRegisters);
    QCOMPARE(read.status, 0);
    QCOMPARE(read.value.value<QVariantList>().size(), row.mostRegisters);
    QCOMPARE(bench.driver.ReadVariable("D0", row.type, row.mostRegisters + 1).status, 5);
    read = bench.driver.ReadVariable("Y0", row.type, row.mostBits);
    QCOMPARE(read.status, 0);
    QCOMPARE(read.value.value<QVariantList>().size(), row.mostBits);
    QCOMPARE(bench.driver.ReadVariable("Y0", row.type, row.mostBits + 1).status, 5);

    if (row.mostWritten) {
        // A list longer than the count: its first values go.
        CLabelVariable record;
        record.value = row.make(row.mostWritten + 2);
        QCOMPARE(bench.driver.WriteVariable("D0", row.type, record, row.mostWritten).status, 0);
        read = bench.driver.ReadVariable("D0", row.type, row.mostWritten);
        QVERIFY(row.same(read.value, row.make(row.mostWritten)));
        // One more than fits: 5 (8-bit values two more, as an odd count is 4).
        const bool pairs = row.type == DT_Int8 || row.type == DT_UInt8;
        const int over = row.mostWritten + (pairs ? 2 : 1);
        QCOMPARE(bench.driver.WriteVariable("D0", row.type, record, over).status, 5);
        // Fewer values than the count: 4, nothing sent.
        record.value = row.make(1);
        bench.plc.clearRequests();
        QCOMPARE(bench.driver.WriteVariable("D0", row.type, record, 2).status, 4);
        QVERIFY(bench.plc.requests().isEmpty());
    }
}

// The tables list every type once, with the list and counts above.
void TestHostLists::tablesSayWhatTheDriverDoes()
{
    QStringList expected;
    for (const ListRow &r : documentedRows()) {
        expected << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(r.name, r.list)
                        .arg(r.mostRegisters)
                        .arg(r.mostBits)
                        .arg(r.mostWritten ? QString::number(r.mostWritten) : QStringLiteral("no"));
    }
    // | `DT_Int16` | `QList<short>` ... | 255 | 15 | 255 |
    const QRegularExpression readme(QStringLiteral(
        "^\\| `(DT_\\w+)` \\| `(QList<[^>]+>)`[^|]*\\| (\\d+) \\| (\\d+) \\| (\\w+)"));
    //   DT_Int16    QList<short>   255   15   255 ...
    const QRegularExpression header(
        QStringLiteral("^//\\s+(DT_\\w+)\\s+(QList<[^>]+>)\\s+(\\d+)\\s+(\\d+)\\s+(\\w+)"));
    QCOMPARE(tableRows(QStringLiteral(NORVO_README), readme), expected);
    QCOMPARE(tableRows(QStringLiteral(NORVO_INTERFACE_HEADER), header), expected);
}

QTEST_GUILESS_MAIN(TestHostLists)
#include "tst_hostlists.moc"
