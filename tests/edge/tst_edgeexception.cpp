// SPDX-License-Identifier: LGPL-2.1-or-later
// Report by exception: which samples of a run of reads are published.

#include "TestTable.h"
#include "exception.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include <cmath>
#include <limits>

namespace {

// "fail 8 why" is a failed read with status 8; anything else a value in JSON.
Sample sample(const QString &text)
{
    Sample read;
    if (text.startsWith(QLatin1String("fail "))) {
        const QStringList words = text.split(QLatin1Char(' '));
        read.status = words.at(1).toInt();
        read.reason = words.mid(2).join(QLatin1Char(' '));
        return read;
    }
    read.value = QJsonDocument::fromJson("[" + text.toUtf8() + "]").array().at(0);
    if (read.value.isUndefined())
        qFatal("not JSON: %s", qPrintable(text));
    return read;
}

} // namespace

class TestEdgeException : public QObject
{
    Q_OBJECT

private slots:
    void published_data();
    void published();
    void sameList_data();
    void sameList();
};

void TestEdgeException::published_data()
{
    // The reads in order, separated by ';', and for each whether it is published.
    addColumns<double, QString, QString>("deadband", "reads", "published");
    QTest::newRow("first sample") << -1.0 << "5" << "Y";
    QTest::newRow("same value") << -1.0 << "5; 5; 5" << "YNN";
    QTest::newRow("any change without a deadband") << -1.0 << "5; 6; 5.000001" << "YYY";
    QTest::newRow("deadband 0 is any change") << 0.0 << "1; 1; 1.0000001" << "YNY";
    QTest::newRow("within the deadband") << 0.5 << "5; 5.5; 4.5; 5.6" << "YNNY";
    QTest::newRow("drift against the last published") << 1.0 << "0; 0.4; 0.8; 1.2; 1.5; 2.0; 2.3"
                                                      << "YNNYNNY";
    QTest::newRow("arrays element-wise") << 1.0 << "[1, 2]; [1.5, 2.5]; [1.5, 3.5]; [0.6, 3.5]" << "YNYN";
    QTest::newRow("array length") << 1.0 << "[1, 2]; [1, 2, 3]; [1, 2, 3]" << "YYN";
    QTest::newRow("bits") << -1.0 << "true; true; false" << "YNY";
    QTest::newRow("nan and inf are texts") << 1.0 << "\"nan\"; \"nan\"; 1; \"inf\"; \"-inf\"; \"-inf\"" << "YNYYYN";
    QTest::newRow("64-bit texts differ by one") << 0.0
        << "\"9007199254740993\"; \"9007199254740993\"; \"9007199254740994\"" << "YNY";
    QTest::newRow("64-bit texts within the deadband") << 1.0
        << "\"18446744073709551615\"; \"18446744073709551614\"; \"18446744073709551613\"" << "YNY";
    QTest::newRow("crossing 2^53") << 5.0 << "9007199254740990; \"9007199254740994\"; \"9007199254740996\""
                                  << "YNY";
    QTest::newRow("lowest int64") << 1.0 << "\"-9223372036854775808\"; \"-9223372036854775807\"; 0" << "YNY";
    QTest::newRow("a failure is published once") << -1.0 << "1; fail 8 no answer; fail 8 other; fail 8; 1"
                                                 << "YYNNY";
    QTest::newRow("the failure changes") << -1.0 << "fail 8; fail 9; fail 9" << "YYN";
    QTest::newRow("good after failure, same value") << 10.0 << "1; fail 8; 1; 1" << "YYYN";
}

void TestEdgeException::published()
{
    QFETCH(double, deadband);
    QFETCH(QString, reads);
    QFETCH(QString, published);
    std::optional<Sample> last;
    QString seen;
    for (const QString &text : reads.split(QLatin1Char(';'))) {
        const Sample read = sample(text.trimmed());
        const bool publish = Exception::publish(last, read, deadband);
        if (publish)
            last = read;
        seen += publish ? QLatin1Char('Y') : QLatin1Char('N');
    }
    QCOMPARE(seen, published);
}

template <typename T>
QVariant list(std::initializer_list<T> values)
{
    return QVariant::fromValue(QList<T>(values));
}

void TestEdgeException::sameList_data()
{
    // A fuzzy == would hide the smallest moves of a float; a list of another
    // type, or no list, may be news.
    addColumns<int, QVariant, QVariant, bool>("type", "a", "b", "same");
    const float nan = std::numeric_limits<float>::quiet_NaN();
    QTest::newRow("same shorts") << int(DT_Int16) << list<short>({1, -2}) << list<short>({1, -2}) << true;
    QTest::newRow("one short moved") << int(DT_Int16) << list<short>({1, -2}) << list<short>({1, -3}) << false;
    QTest::newRow("longer") << int(DT_Int16) << list<short>({1}) << list<short>({1, 0}) << false;
    QTest::newRow("float by its last bit") << int(DT_Float) << list<float>({1.0f})
                                           << list<float>({std::nextafter(1.0f, 2.0f)}) << false;
    QTest::newRow("double by its last bit") << int(DT_Double) << list<double>({1e20})
                                            << list<double>({std::nextafter(1e20, 2e20)}) << false;
    QTest::newRow("NaN repeats") << int(DT_Float) << list<float>({nan}) << list<float>({nan}) << true;
    QTest::newRow("minus zero") << int(DT_Float) << list<float>({0.0f}) << list<float>({-0.0f}) << false;
    QTest::newRow("highest uint64") << int(DT_UInt64) << list<quint64>({~quint64(0)})
                                    << list<quint64>({~quint64(0)}) << true;
    QTest::newRow("bits") << int(DT_Bool) << list<bool>({true, false}) << list<bool>({true, false}) << true;
    QTest::newRow("another type") << int(DT_Int16) << list<short>({1}) << list<int>({1}) << false;
    QTest::newRow("no list") << int(DT_Int16) << QVariant() << QVariant() << false;
}

void TestEdgeException::sameList()
{
    QFETCH(int, type);
    QFETCH(QVariant, a);
    QFETCH(QVariant, b);
    QFETCH(bool, same);
    QCOMPARE(Exception::sameList(DataType(type), a, b), same);
    QCOMPARE(Exception::sameList(DataType(type), b, a), same);
}

QTEST_GUILESS_MAIN(TestEdgeException)
#include "tst_edgeexception.moc"
