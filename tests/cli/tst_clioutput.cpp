// SPDX-License-Identifier: LGPL-2.1-or-later
// What norvo shows of the driver's records: table rows, JSON, data checks.

#include "ElementAddress.h"
#include "FrameTrace.h"
#include "Output.h"
#include "WatchRecorder.h"
#include "HelpText.h"
#include "LinkOutage.h"
#include "ResultText.h"
#include "simframe.h"
#include "StatusText.h"
#include "TestTable.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtTest/QtTest>

#include <limits>
#include <tuple>

namespace {

const QDateTime someTime(QDate(2024, 5, 1), QTime(12, 0, 0, 123));

LabelResult result(DataType type, const QVariant &value, int count, int status = 0)
{
    LabelResult r;
    r.label = QStringLiteral("D100");
    r.type = type;
    r.count = count;
    r.value = value;
    r.status = status;
    r.time = someTime;
    r.timeFromDriver = status == 0;
    return r;
}

// A frame around `body` (station, command, ...): start byte, checksum, end byte.
QByteArray framed(const QByteArray &body, int checksumError = 0)
{
    const QByteArray frame = '\x02' + body;
    return frame + SimFrame::hex((SimFrame::checksum(frame) + checksumError) & 0xFF, 2) + '\x03';
}

// A line as the driver logs it with its debug switch on.
QString driverLine(const char *tag, const char *label, const QByteArray &frame)
{
    return QStringLiteral("%1 127.0.0.1:500 Area=%2  len = 3 msg : %3")
        .arg(QString::fromUtf8(tag), QLatin1String(label), QString::fromLatin1(frame.toHex()));
}

QJsonObject parsedJson(const QString &line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError)
        qWarning("not JSON: %s (%s)", qPrintable(line), qPrintable(error.errorString()));
    return document.object();
}

} // namespace

Q_DECLARE_METATYPE(LabelResult)

class TestCliOutput : public QObject
{
    Q_OBJECT

private slots:
    void tableLinesUpRowsOfAPoll();
    void tableFitsItsValues_data();
    void tableFitsItsValues();
    void valueTexts_data();
    void valueTexts();
    void elementsByAddress();
    void countLimits();
    void watchRecorderKeepsAWindow();
    void outageIsToldOnceThenRemindedOf();
    void jsonShape();
    void jsonKeepsEveryValueExact();
    void csvRows();
    void dataProblems();
    void infoAndSummary();
    void everyCommandHasExamples();
    void traceNamesWhatWentWrong_data();
    void traceNamesWhatWentWrong();
    void traceShowsTheLinksAccount_data();
    void traceShowsTheLinksAccount();
};

void TestCliOutput::tableLinesUpRowsOfAPoll()
{
    ResultTable table;
    const LabelResult good = result(DT_Int16, QVariant::fromValue(QList<short>{-5, 7, 12}), 3);
    const QString header = table.header(good);
    const QString row = table.row(good);
    QCOMPARE(header, QStringLiteral("label  type   values     status  time                     reason"));
    QCOMPARE(row, QStringLiteral("D100   int16  -5, 7, 12  0       2024-05-01 12:00:00.123"));

    // A failed read shows no values, but a time and its cause, in the same columns.
    LabelResult silent = result(DT_Int16, QVariant(), 3, 8);
    silent.reason = QStringLiteral("no answer");
    QCOMPARE(table.row(silent),
             QStringLiteral("D100   int16  -          8       2024-05-01 12:00:00.123  no answer in time: no answer"));

    // int8 travels as (unsigned) char; the table shows the signed byte.
    const QString bytes = table.row(result(DT_Int8, QVariant::fromValue(QList<char>{char(0xFB), 'A'}), 2));
    QVERIFY2(bytes.contains(QLatin1String("-5, 65")), qPrintable(bytes));
    const QString bits = table.row(result(DT_Bool, QVariant::fromValue(QList<bool>{true, false}), 2));
    QVERIFY2(bits.contains(QLatin1String("1, 0")), qPrintable(bits));
    // Several items: a later item of more values keeps the status column in line.
    ResultTable items;
    items.reserve(QStringLiteral("D100"), DT_Int16, 1);
    items.reserve(QStringLiteral("X0"), DT_Bool, 4);
    items.header(result(DT_Int16, QVariant::fromValue(QList<short>{7}), 1));
    const QString one = items.row(result(DT_Int16, QVariant::fromValue(QList<short>{7}), 1));
    const QString four = items.row(result(DT_Bool, QVariant::fromValue(QList<bool>{1, 0, 1, 1}), 4));
    QCOMPARE(one.indexOf(QLatin1String("0  ")), four.indexOf(QLatin1String("0  ")));
}

// A run's table as printed: each column as wide as its widest cell, two
// spaces between columns, one ", " between values; never narrower in a
// later cycle of a poll.
void TestCliOutput::tableFitsItsValues_data()
{
    addColumns<QList<LabelResult>, QStringList>("cycles", "lines");
    LabelResult tenth = result(DT_Float, QVariant::fromValue(QList<float>{0.1f}), 1);
    tenth.label = QStringLiteral("D300");
    LabelResult pair = result(DT_Float, QVariant::fromValue(QList<float>{0.1f, 0.0f}), 2);
    pair.label = QStringLiteral("D300");
    LabelResult wide = result(DT_Int32, QVariant::fromValue(QList<int>{-2000000000, 7}), 2);
    wide.label = QStringLiteral("D1000");
    LabelResult bits = result(DT_Bool, QVariant::fromValue(QList<bool>{true, false, true}), 3);
    bits.label = QStringLiteral("X0");
    LabelResult silent = result(DT_Float, QVariant(), 1, 8);
    silent.label = QStringLiteral("D300");
    const QString time = QStringLiteral("2024-05-01 12:00:00.123");
    QTest::newRow("one float")
            << QList<LabelResult>{tenth} << QStringList{"label  type   values  status  time                     reason",
                                                        "D300   float  0.1     0       " + time};
    QTest::newRow("two floats")
            << QList<LabelResult>{pair} << QStringList{"label  type   values  status  time                     reason",
                                                       "D300   float  0.1, 0  0       " + time};
    QTest::newRow("items of one read")
            << QList<LabelResult>{bits, wide, tenth}
            << QStringList{"label  type   values          status  time                     reason",
                           "X0     bool   1, 0, 1         0       " + time,
                           "D1000  int32  -2000000000, 7  0       " + time,
                           "D300   float  0.1             0       " + time};
    // A null stands for the end of a cycle: the second keeps the first's columns.
    QTest::newRow("poll keeps its columns")
            << QList<LabelResult>{wide, LabelResult(), silent, LabelResult()}
            << QStringList{"label  type   values          status  time                     reason",
                           "D1000  int32  -2000000000, 7  0       " + time,
                           "D300   float  -               8       " + time + "  no answer in time"};
}

void TestCliOutput::tableFitsItsValues()
{
    QFETCH(QList<LabelResult>, cycles);
    QFETCH(QStringList, lines);
    QString text;
    QTextStream out(&text), err(&text);
    {
        Output output(Invocation::Table, out, err);
        QList<ReadItem> items;
        for (const LabelResult &r : qAsConst(cycles)) {
            if (!r.label.isEmpty())
                items << ReadItem{r.label, r.type, r.count, true};
        }
        output.expect(items);
        for (const LabelResult &r : qAsConst(cycles)) {
            if (r.label.isEmpty())
                output.endCycle();
            else
                output.result(r);
        }
        output.endCycle();
    }
    out.flush();
    QCOMPARE(text, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
}

// Floats as people write them, the same text in the table, the CSV and the
// JSON; or as their bit pattern with --hex.
void TestCliOutput::valueTexts_data()
{
    addColumns<int, QVariant, QString, QString>("typeNumber", "value", "plain", "hex");
    QTest::newRow("float whole") << int(DT_Float) << QVariant::fromValue(QList<float>{-2000.0f}) << "-2000" << "0xC4FA0000";
    QTest::newRow("float fraction") << int(DT_Float) << QVariant::fromValue(QList<float>{1234.5677f}) << "1234.5677"
                                    << "0x449A522B";
    QTest::newRow("float tenth") << int(DT_Float) << QVariant::fromValue(QList<float>{0.1f}) << "0.1" << "0x3DCCCCCD";
    QTest::newRow("float huge") << int(DT_Float) << QVariant::fromValue(QList<float>{1e30f}) << "1e+30" << "0x7149F2CA";
    QTest::newRow("float tiny") << int(DT_Float) << QVariant::fromValue(QList<float>{1.5e-7f}) << "1.5e-07" << "0x34210FB0";
    QTest::newRow("double") << int(DT_Double) << QVariant::fromValue(QList<double>{3.25}) << "3.25" << "0x400A000000000000";
    QTest::newRow("int16") << int(DT_Int16) << QVariant::fromValue(QList<short>{-5}) << "-5" << "0xFFFB";
    QTest::newRow("int8") << int(DT_Int8) << QVariant::fromValue(QList<char>{char(0xFB)}) << "-5" << "0xFB";
    QTest::newRow("uint32") << int(DT_UInt32) << QVariant::fromValue(QList<unsigned int>{100000}) << "100000" << "0x000186A0";
    QTest::newRow("bool") << int(DT_Bool) << QVariant::fromValue(QList<bool>{true}) << "1" << "1";
}

void TestCliOutput::valueTexts()
{
    QFETCH(int, typeNumber);
    const DataType type = DataType(typeNumber);
    QFETCH(QVariant, value);
    QFETCH(QString, plain);
    QFETCH(QString, hex);
    const LabelResult r = result(type, value, 1);
    ResultTable table;
    table.header(r);
    QVERIFY2(table.row(r).contains(QLatin1String("  ") + plain + QLatin1String("  ")), qPrintable(table.row(r)));
    QVERIFY2(csvRow(r).endsWith(QLatin1Char(',') + plain), qPrintable(csvRow(r)));
    if (type != DT_Bool)
        QVERIFY2(resultJson(r).contains(QLatin1String("\"values\":[") + plain + QLatin1Char(']')),
                 qPrintable(resultJson(r)));
    table.setStyle(ValueText::Style::Hex);
    QVERIFY2(table.row(r).contains(QLatin1String("  ") + hex + QLatin1String("  ")), qPrintable(table.row(r)));
    QVERIFY2(csvRow(r, ValueText::Style::Hex).endsWith(QLatin1Char(',') + hex), qPrintable(csvRow(r)));
}

// Each element under its own label: registers by the type's width, 8-bit
// values by the byte of their register, bits one by one.
void TestCliOutput::elementsByAddress()
{
    QCOMPARE(ElementAddress::labels("D100", DT_Int32, 3), (QStringList{"D100", "D102", "D104"}));
    QCOMPARE(ElementAddress::labels("M0016", DT_Bool, 2), (QStringList{"M0016", "M0017"}));
    QCOMPARE(ElementAddress::labels("D99", DT_Int8, 3), (QStringList{"D99.hi", "D99.lo", "D100.hi"}));
    QCOMPARE(ElementAddress::labels("TMR5", DT_Double, 2), (QStringList{"TMR5", "TMR9"}));

    const QList<LabelResult> split =
        ElementAddress::split(result(DT_Int16, QVariant::fromValue(QList<short>{-5, 7}), 2));
    QCOMPARE(split.size(), 2);
    QCOMPARE(split.at(1).label, QStringLiteral("D101"));
    QCOMPARE(split.at(1).count, 1);
    QCOMPARE(split.at(1).value.value<QList<short>>(), QList<short>{7});
    LabelResult failed = result(DT_Int16, QVariant(), 2, 8);
    const QList<LabelResult> failedRows = ElementAddress::split(failed);
    QCOMPARE(failedRows.size(), 2);
    QCOMPARE(failedRows.at(1).status, 8);

    // The wide CSV: one row per cycle, a column per element, empty where a read failed.
    QString text;
    QTextStream out(&text), err(&text);
    Output output(Invocation::CsvWide, out, err);
    output.expect({ReadItem{"D100", DT_Int16, 2, true}, ReadItem{"X0", DT_Bool, 1, false}});
    for (int cycle = 0; cycle < 2; ++cycle) {
        output.result(result(DT_Int16, QVariant::fromValue(QList<short>{-5, 7}), 2));
        LabelResult bit = result(DT_Bool, QVariant(), 1, cycle == 0 ? 8 : 0);
        bit.label = QStringLiteral("X0");
        if (cycle == 1)
            bit.value = QVariant::fromValue(QList<bool>{true});
        output.result(bit);
        output.endCycle();
    }
    out.flush();
    const QString time = isoTime(someTime);
    QCOMPARE(text, QStringLiteral("time,D100,D101,X0\r\n") + time + ",-5,7,\r\n" + time + ",-5,7,1\r\n");
}

// A count the driver refuses is explained by the limit it broke.
void TestCliOutput::countLimits()
{
    QCOMPARE(ElementAddress::countLimit("D100", DT_Int16, 256, false),
             QStringLiteral("at most 255 registers fit one request; 256 int16 values from D100 need 256 registers"));
    QCOMPARE(ElementAddress::countLimit("D100", DT_Float, 128, false),
             QStringLiteral("at most 255 registers fit one request; 128 float values from D100 need 256 registers"));
    QCOMPARE(ElementAddress::countLimit("X0", DT_Bool, 256, false),
             QStringLiteral("at most 255 bits fit one request; 256 bool values from X0 need 256 bits"));
    QCOMPARE(ElementAddress::countLimit("D100", DT_Int8, 5, true),
             QStringLiteral("int8 values travel in pairs, two to a register, so the count must be even (5 given)"));
    for (const auto &fits : {std::make_tuple("D100", DT_Int16, 255), std::make_tuple("D100", DT_Int8, 510),
                             std::make_tuple("M0", DT_Bool, 4080), std::make_tuple("X0", DT_Bool, 255)})
        QCOMPARE(ElementAddress::countLimit(std::get<0>(fits), std::get<1>(fits), std::get<2>(fits), false), QString());
}

void TestCliOutput::jsonShape()
{
    const QJsonObject good =
        parsedJson(resultJson(result(DT_Int16, QVariant::fromValue(QList<short>{-5, 7}), 2)));
    QCOMPARE(good.keys(), (QStringList{"clock", "count", "label", "meaning", "status", "time",
                                       "type", "values"}));
    QCOMPARE(good.value("values").toArray(), (QJsonArray{-5, 7}));
    QCOMPARE(good.value("clock").toString(), QStringLiteral("driver"));
    // The time carries its offset, and reads back as the same instant.
    const QString time = good.value("time").toString();
    QVERIFY2(QRegularExpression(QStringLiteral("^2024-05-01T\\d\\d:00:00\\.123(Z|[+-]\\d\\d:\\d\\d)$"))
                 .match(time).hasMatch(), qPrintable(time));
    QCOMPARE(QDateTime::fromString(time, Qt::ISODateWithMs).toMSecsSinceEpoch(),
             someTime.toMSecsSinceEpoch());

    LabelResult lost = result(DT_Float, QVariant(), 1, 9);
    lost.reason = QStringLiteral("link down");
    const QJsonObject failed = parsedJson(resultJson(lost));
    QCOMPARE(failed.value("status").toInt(), 9);
    QCOMPARE(failed.value("meaning").toString(), QStringLiteral("link not connected"));
    QCOMPARE(failed.value("reason").toString(), QStringLiteral("link down"));
    QVERIFY(failed.value("values").isNull());
    QCOMPARE(failed.value("clock").toString(), QStringLiteral("norvo"));
    QVERIFY(!failed.value("time").toString().isEmpty());

    const QJsonObject bits =
        parsedJson(resultJson(result(DT_Bool, QVariant::fromValue(QList<bool>{true, false}), 2)));
    QCOMPARE(bits.value("values").toArray(), (QJsonArray{true, false}));
}

// Doubles would round 64-bit integers; nan and inf have no JSON number.
void TestCliOutput::jsonKeepsEveryValueExact()
{
    // Beyond 2^53 a JSON number would round: such integers are strings.
    const QString big = resultJson(result(
        DT_UInt64, QVariant::fromValue(QList<quint64>{std::numeric_limits<quint64>::max(), 7}), 2));
    QCOMPARE(parsedJson(big).value("values").toArray(), (QJsonArray{"18446744073709551615", 7}));
    const QString low = resultJson(result(
        DT_Int64, QVariant::fromValue(QList<qint64>{std::numeric_limits<qint64>::min() + 1,
                                                     (qint64(1) << 53) - 1}), 2));
    QCOMPARE(parsedJson(low).value("values").toArray(),
             (QJsonArray{"-9223372036854775807", double((qint64(1) << 53) - 1)}));

    const QString special = resultJson(result(
        DT_Double,
        QVariant::fromValue(QList<double>{std::numeric_limits<double>::quiet_NaN(),
                                          -std::numeric_limits<double>::infinity(), 0.1}),
        3));
    const QJsonObject object = parsedJson(special);
    QCOMPARE(object.value("values").toArray(), (QJsonArray{"nan", "-inf", 0.1}));
    const QString floats = resultJson(result(
        DT_Float, QVariant::fromValue(QList<float>{std::numeric_limits<float>::infinity(), 0.1f}), 2));
    QCOMPARE(parsedJson(floats).value("values").toArray(), (QJsonArray{"inf", 0.1}));
}

// RFC 4180: fields with commas, quotes or line breaks are quoted, quotes doubled.
void TestCliOutput::csvRows()
{
    QCOMPARE(csvHeader(), QStringLiteral("time,label,type,count,status,meaning,reason,values"));
    const QString time = isoTime(someTime);
    QCOMPARE(csvRow(result(DT_Int16, QVariant::fromValue(QList<short>{-5, 7}), 2)),
             time + QStringLiteral(",D100,int16,2,0,success,,-5 7"));
    LabelResult refused = result(DT_Int16, QVariant(), 2, 7);
    refused.reason = QStringLiteral("PLC error code 4: unknown \"area\", sorry");
    QCOMPARE(csvRow(refused),
             time + QStringLiteral(",D100,int16,2,7,answer unusable or reporting an error,"
                                   "\"PLC error code 4: unknown \"\"area\"\", sorry\","));
}

// A record that says success must carry `count` values of its type.
void TestCliOutput::dataProblems()
{
    QCOMPARE(dataProblem(result(DT_Int16, QVariant::fromValue(QList<short>{1, 2}), 2)), QString());
    QCOMPARE(dataProblem(result(DT_Int16, QVariant(), 2, 7)), QString());

    const QString shortList = dataProblem(result(DT_Int8, QVariant::fromValue(QList<char>{1, 2}), 3));
    QCOMPARE(shortList, QStringLiteral("the driver reported success but returned 2 int8 values for 3"));
    const QString wrongType = dataProblem(result(DT_Int32, QVariant::fromValue(QList<short>{1}), 1));
    QCOMPARE(wrongType, QStringLiteral("the driver reported success but returned no list of int32 values"));
    QVERIFY(!dataProblem(result(DT_UInt8, QVariant(), 1)).isEmpty());
}

void TestCliOutput::infoAndSummary()
{
    DriverInfo info;
    info.plugin = QStringLiteral("/opt/a \"b\"/libLibNorvo.so.1");
    info.name = QStringLiteral("Norvo");
    info.version = QStringLiteral("V1.2.3 20230221");
    info.build = QStringLiteral("v1.2.3 2023-12-18 11:13:59");
    QJsonObject object = parsedJson(infoJson(info));
    QCOMPARE(object.value("plugin").toString(), info.plugin);
    QVERIFY(!object.contains("connection"));

    info.connection = QStringLiteral("127.0.0.1:%1");
    info.connectResult = -3;
    object = parsedJson(infoJson(info));
    QCOMPARE(object.value("connect").toInt(), -3);
    QCOMPARE(object.value("connection").toString(), info.connection);
    QVERIFY2(infoText(info).contains(QLatin1String(
                 "connection  127.0.0.1:%1: the link did not open: the TCP link did not open (ConnectDrive -3)")),
             qPrintable(infoText(info)));
    info.connectResult = 0;
    QVERIFY(infoText(info).contains(QLatin1String("connection  127.0.0.1:%1: the link is open\n")));
    info.station = 4;
    for (const auto &verdict : {std::make_pair(0, "station 4 answers"),
                                std::make_pair(8, "link open, no answer from station 4")}) {
        info.readStatus = verdict.first;
        QVERIFY2(infoText(info).contains(QLatin1String(verdict.second)), qPrintable(infoText(info)));
        QCOMPARE(parsedJson(infoJson(info)).value("answers").toBool(), verdict.first == 0);
    }
    QCOMPARE(StatusText::connectResult(-1, "ttyS1,9600,8,1,N"),
             QStringLiteral("the serial port could not be opened"));
    QCOMPARE(StatusText::connectResult(-1, "1.2.3.4:5"),
             QStringLiteral("the address or port is not usable"));

    PollSummary summary;
    summary.good = 4;
    summary.failed = 1;
    summary.interrupted = true;
    QCOMPARE(summaryText(summary), QStringLiteral("poll stopped: 5 reads, 4 good, 1 failed"));
    summary.linkLost = 2;
    summary.linkRestored = 1;
    QCOMPARE(summaryText(summary), QStringLiteral("poll stopped: 5 reads, 4 good, 1 failed; "
                                                  "link lost 2 times, restored 1 times"));
    QCOMPARE(summaryJson(summary),
             QStringLiteral("{\"failed\":1,\"good\":4,\"interrupted\":true,\"link_lost\":2,"
                            "\"link_restored\":1,\"reads\":5}"));
}

// The page's record: new samples and events after a sequence number, in
// order, and nothing older than the window.
void TestCliOutput::watchRecorderKeepsAWindow()
{
    static qint64 nowMs = 0;
    // The third item differs from the first only in its count.
    WatchRecorder recorder({ReadItem{"D100", DT_Int16, 2, true}, ReadItem{"X0", DT_Bool, 1, false},
                            ReadItem{"D100", DT_Int16, 3, true}},
                           60000);
    recorder.setClock([] { return nowMs; });
    auto at = [](qint64 ms, LabelResult r) {
        r.time = QDateTime::fromMSecsSinceEpoch(ms);
        return r;
    };
    nowMs = 1000;
    recorder.add(0, at(1000, result(DT_Int16, QVariant::fromValue(QList<short>{-5, 7}), 2)));
    recorder.addEvent("link lost", "127.0.0.1:500");
    LabelResult failed = result(DT_Bool, QVariant(), 1, 9);
    failed.label = QStringLiteral("X0");
    failed.reason = QStringLiteral("still down");
    recorder.add(1, at(1000, failed));
    recorder.add(2, at(1000, result(DT_Int16, QVariant::fromValue(QList<short>{1, 2, 3}), 3)));

    QJsonObject all = recorder.since(0);
    QCOMPARE(all.value("next").toInt(), 4);
    const QJsonArray samples = all.value("samples").toArray();
    QCOMPARE(samples.size(), 3);
    QCOMPARE(samples.at(2).toObject().value("item").toInt(), 2);
    QCOMPARE(samples.at(0).toObject().value("values").toArray(), (QJsonArray{-5, 7}));
    QCOMPARE(samples.at(0).toObject().value("hex").toArray(), (QJsonArray{"0xFFFB", "0x0007"}));
    QCOMPARE(samples.at(1).toObject().value("item").toInt(), 1);
    QVERIFY(!samples.at(1).toObject().contains("values"));
    QCOMPARE(samples.at(1).toObject().value("reason").toString(), QStringLiteral("still down"));
    QCOMPARE(all.value("events").toArray().at(0).toObject().value("seq").toInt(), 2);
    QCOMPARE(recorder.since(2).value("samples").toArray().size(), 2);
    QVERIFY(recorder.since(2).value("events").toArray().isEmpty());
    // A limit cuts a long answer; the rest follows from its "next".
    const QJsonObject first = recorder.since(0, 1);
    QVERIFY(first.value("more").toBool());
    QCOMPARE(recorder.since(first.value("next").toInt()).value("samples").toArray().size(), 2);
    QCOMPARE(recorder.items().value("items").toArray().at(0).toObject().value("elements").toArray(),
             (QJsonArray{"D100", "D101"}));

    // A minute later the first reads fall out of the window, and out of the CSV.
    nowMs = 62000;
    recorder.add(0, at(62000, result(DT_Int16, QVariant::fromValue(QList<short>{1, 2}), 2)));
    QCOMPARE(recorder.since(0).value("samples").toArray().size(), 1);
    QVERIFY(recorder.since(0).value("events").toArray().isEmpty());
    QCOMPARE(recorder.csv().count(QLatin1String("\r\n")), 2);
}

void TestCliOutput::outageIsToldOnceThenRemindedOf()
{
    const QString plc = QStringLiteral("127.0.0.1:500");
    LinkOutage outage;
    QVERIFY(outage.begin(1000));
    QVERIFY(!outage.begin(1500)); // one outage, however often it is noticed
    QVERIFY(outage.failedAttempt(1000)); // the cause: told once
    QVERIFY(!outage.failedAttempt(2000));
    QVERIFY(outage.reminderDue(30999, plc).isEmpty());
    QCOMPARE(outage.reminderDue(31000, plc), QStringLiteral("still down: 127.0.0.1:500, 2 attempts in 30 s"));
    QVERIFY(outage.reminderDue(31000 + 29999, plc).isEmpty());
    QVERIFY(!outage.failedAttempt(61000));
    QCOMPARE(outage.reminderDue(61000, plc), QStringLiteral("still down: 127.0.0.1:500, 3 attempts in 60 s"));
    QCOMPARE(outage.end(62500), qint64(61500));
    QVERIFY(outage.reminderDue(200000, plc).isEmpty());
    // The next outage is told afresh.
    QVERIFY(outage.begin(70000));
    QVERIFY(outage.failedAttempt(70000));
    QCOMPARE(outage.reminderDue(100000, plc), QStringLiteral("still down: 127.0.0.1:500, 1 attempt in 30 s"));
}

void TestCliOutput::everyCommandHasExamples()
{
    for (auto command : {Invocation::Info, Invocation::Read, Invocation::Write, Invocation::Poll,
                         Invocation::Scan}) {
        const QString help = helpText(command);
        QVERIFY(help.startsWith(QLatin1String("usage: norvo")));
        QVERIFY(help.contains(QLatin1String("examples:\n  norvo ")));
    }
    QVERIFY(helpText(Invocation::NoCommand).contains(QLatin1String("--interval MS")));
}

void TestCliOutput::traceNamesWhatWentWrong_data()
{
    // refusal: the link's line about the answer, empty for a good one
    addColumns<QByteArray, QString, QByteArray, QString, QString>(
        "request", "refusal", "answer", "answerText", "failure");

    const QByteArray bitRead = QByteArray::fromHex("0230313434303358303031303437" "03");
    const auto refused = [](const char *verdict, const QByteArray &answer) {
        return QStringLiteral("refused %1: %2").arg(QLatin1String(verdict), QString::fromLatin1(answer.toHex()));
    };
    QTest::newRow("good bits") << bitRead << QString() << QByteArray::fromHex("023031343430313031384403")
                               << "station 1, read bits (44), no error, data 101, checksum 8D right" << "";
    QTest::newRow("PLC error") << bitRead << refused("plc-error 4", framed("01444")) << framed("01444")
                               << "PLC error code 4 (norvo-sim: unknown area)"
                               << "PLC error code 4 (norvo-sim: unknown area)";
    QTest::newRow("checksum") << bitRead << refused("integrity", framed("014400101", 1))
                              << framed("014400101", 1) << "WRONG (should be" << "wrong checksum in the answer";
    QTest::newRow("broken frame") << bitRead << refused("integrity", "\x02" "0144")
                                  << QByteArray("\x02" "0144") << "a broken answer frame: 0230313434"
                                  << "a broken answer frame";
    QTest::newRow("echo") << bitRead << refused("echo", framed("024401")) << framed("024401")
                          << "station 2, read bits (44)" << "wrong echo: station 2 command 44 answered, "
                                                            "station 1 command 44 was asked";
    QTest::newRow("length") << bitRead << refused("length", framed("0144001")) << framed("0144001")
                            << "data 01" << "an answer with 2 data characters, 3 expected";
    QTest::newRow("no answer") << bitRead << QStringLiteral("refused no-answer:") << QByteArray()
                               << "no answer" << "no answer";
    QTest::newRow("untrusted") << bitRead << QStringLiteral("refused out-of-step:") << QByteArray()
                               << "no answer" << "out of step: no answer could be trusted";
    // The verdict is the link's: a checksum norvo would call wrong is no refusal.
    QTest::newRow("not refused") << bitRead << QString() << framed("014400101", 1) << "WRONG" << "";
    QTest::newRow("registers") << framed("014602D00100") << QString() << framed("0146012AB0005")
                               << "read registers (46), no error, data 12AB 0005" << "";
}

// A bit read logs its refusal between request and answer, a register
// command before its request: the reason is the same.
void TestCliOutput::traceNamesWhatWentWrong()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, refusal);
    QFETCH(QByteArray, answer);
    QFETCH(QString, answerText);
    QFETCH(QString, failure);

    const QDateTime time(QDate(2024, 5, 1), QTime(12, 0, 0, 5));
    for (const bool refusalFirst : {false, true}) {
        FrameTrace trace;
        QCOMPARE(trace.take(QStringLiteral("lib[Norvo] something else"), time), QString());
        if (refusalFirst && !refusal.isEmpty())
            QCOMPARE(trace.takeLinkLine(refusal, time), QString());
        const QString sent = trace.take(driverLine("lib[Norvo]读命令", "X10", request), time);
        QVERIFY2(sent.startsWith(QLatin1String("12:00:00.005 -> station 1, read ")), qPrintable(sent));
        QVERIFY2(sent.endsWith(QLatin1String(" right")), qPrintable(sent));
        QCOMPARE(trace.requestsSent(), 1);
        if (!refusalFirst && !refusal.isEmpty())
            QCOMPARE(trace.takeLinkLine(refusal, time), QString());
        const QString received = trace.take(driverLine("lib[Norvo]响应", "X10", answer), time);
        QVERIFY2(received.startsWith(QLatin1String("12:00:00.005 <- ")), qPrintable(received));
        QVERIFY2(received.contains(answerText), qPrintable(received));
        QVERIFY2(received.contains(failure), qPrintable(received));
        QCOMPARE(trace.failure(), failure);
    }
}

void TestCliOutput::traceShowsTheLinksAccount_data()
{
    addColumns<QStringList, QString, QString>("lines", "shown", "failure");

    const QString goodRegisters = QString::fromLatin1(framed("0146012AB").toHex());
    const QString syncRead = QString::fromLatin1(framed("014401X0000").toHex());
    // How late, and the wait it missed: the reason of a failed read tells.
    QTest::newRow("late answer, how late")
        << QStringList{"dropped owed answer, 510 ms after its request (the wait was 300 ms): " + goodRegisters}
        << "!! dropped a late answer: station 1, read registers (46), no error, data 12AB, checksum E3 right "
           "(510 ms after its request; the wait was 300 ms)" << "";
    QTest::newRow("learnt wait")
        << QStringList{"answer wait now 687 ms: an answer came 510 ms after its request"}
        << "!! the driver now waits 687 ms for an answer: one came 510 ms after its request" << "";
    QTest::newRow("late answer") << QStringList{"dropped owed answer: " + goodRegisters}
                                 << "12:00:00.005 !! dropped a late answer: station 1, read registers (46), "
                                    "no error, data 12AB, checksum" << "";
    QTest::newRow("unowed") << QStringList{"dropped unowed frame, station 01 out of step: " + goodRegisters}
                            << "!! dropped an answer nothing was waiting for (station 1 out of step): "
                               "station 1, read registers" << "";
    QTest::newRow("synchronised")
        << QStringList{"synchronising station 01 with " + syncRead, "refused echo:", "in step with station 01"}
        << "!! station 1 out of step: synchronising with station 1, read bits (44), area X, element 0000, "
           "count 1, checksum" << "";
    // No request went out: the reason says so, not what its read met.
    QTest::newRow("still out of step")
        << QStringList{"synchronising station 01 with " + syncRead, "refused no-answer:",
                       "station 01 still out of step"}
        << "!! station 1 still out of step: the request was not sent"
        << "no answer, to the synchronising read that goes first on a new link or after a failed exchange; the request was not sent";
    QTest::newRow("no synchronising read")
        << QStringList{"no synchronising read left for station 0A"}
        << "!! station 10 out of step, with no synchronising read left"
        << "out of step, with no synchronising read left; the request was not sent";
}

void TestCliOutput::traceShowsTheLinksAccount()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, shown);
    QFETCH(QString, failure);

    const QDateTime time(QDate(2024, 5, 1), QTime(12, 0, 0, 5));
    FrameTrace trace;
    QStringList texts;
    for (const QString &line : lines)
        texts << trace.takeLinkLine(line, time);
    QVERIFY2(texts.join(QLatin1Char('\n')).contains(shown), qPrintable(texts.join(QLatin1Char('\n'))));
    QCOMPARE(trace.failure(), failure);
    if (QTest::currentDataTag() == QLatin1String("late answer, how late"))
        QVERIFY(trace.lateAnswer().contains("510 ms after its request, but the wait was 300 ms: the line is slow; "
                                            "try --timeout 700"));
    if (QTest::currentDataTag() == QLatin1String("learnt wait"))
        QCOMPARE(trace.learntWaitMs(), 687);
}

QTEST_APPLESS_MAIN(TestCliOutput)
#include "tst_clioutput.moc"
