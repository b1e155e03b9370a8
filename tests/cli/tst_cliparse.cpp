// SPDX-License-Identifier: LGPL-2.1-or-later
// norvo's command line: value texts into the record's lists, and whole
// argument lists. The grammars themselves are the protocol floor's (tests/protocol).

#include "Invocation.h"
#include "TestTable.h"
#include "ValueText.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtTest/QtTest>

#include <cstring>

namespace {

QStringList words(const char *line)
{
    return QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

} // namespace

class TestCliParse : public QObject
{
    Q_OBJECT

private slots:
    void hexIsTheBitPattern();
    void floatingPoint();
    void valuesKeepTheirOrderInTheRecordsListType();
    void jsonValuesAsTexts_data();
    void jsonValuesAsTexts();

    void acceptedCommandLines();
    void refusedCommandLines_data();
    void refusedCommandLines();
    void connections_data();
    void connections();
    void help();
};

void TestCliParse::hexIsTheBitPattern()
{
    QVariant list;
    QCOMPARE(ValueText::parseValues(DT_Int16, {"0xFFFF", "0x8000", "0x7fff"}, &list), QString());
    QCOMPARE(list.value<QList<short>>(), (QList<short>{-1, -32768, 32767}));

    QCOMPARE(ValueText::parseValues(DT_Int8, {"0x80", "0xFF"}, &list), QString());
    QCOMPARE(list.value<QList<char>>(), (QList<char>{char(0x80), char(0xFF)}));

    QCOMPARE(ValueText::parseValues(DT_UInt64, {"0xFFFFFFFFFFFFFFFF"}, &list), QString());
    QCOMPARE(list.value<QList<quint64>>(), QList<quint64>{~quint64(0)});

    QCOMPARE(ValueText::parseValues(DT_Float, {"0x3F800000", "0xBFC00000"}, &list), QString());
    QCOMPARE(list.value<QList<float>>(), (QList<float>{1.0f, -1.5f}));

    QCOMPARE(ValueText::parseValues(DT_Double, {"0x3FF0000000000000"}, &list), QString());
    QCOMPARE(list.value<QList<double>>(), QList<double>{1.0});
}

void TestCliParse::floatingPoint()
{
    QVariant list;
    QCOMPARE(ValueText::parseValues(DT_Double, {"1.5", "-2e3", ".25", "7.", "1E-3"}, &list),
             QString());
    QCOMPARE(list.value<QList<double>>(), (QList<double>{1.5, -2000.0, 0.25, 7.0, 0.001}));

    QCOMPARE(ValueText::parseValues(DT_Float, {"nan", "-INF", "inf"}, &list), QString());
    const QList<float> special = list.value<QList<float>>();
    QVERIFY(std::isnan(special.at(0)));
    QCOMPARE(special.at(1), -std::numeric_limits<float>::infinity());
    QCOMPARE(special.at(2), std::numeric_limits<float>::infinity());

    // What the tool shows must read back as the same float, and be short.
    // 3.40282356e38 lies above the largest float but still rounds to it.
    QCOMPARE(ValueText::parseValues(DT_Float, {"0.1", "3.4028235e38", "-1.17549435e-38",
                                               "3.40282356e38"}, &list),
             QString());
    QStringList texts;
    QVERIFY(ValueText::formatValues(DT_Float, list, ValueText::Style::Plain, &texts));
    QCOMPARE(texts.at(0), QStringLiteral("0.1"));
    QCOMPARE(texts.at(1), QStringLiteral("3.4028235e+38"));
    QVariant again;
    QCOMPARE(ValueText::parseValues(DT_Float, texts, &again), QString());
    QCOMPARE(again.value<QList<float>>(), list.value<QList<float>>());
}

// The driver reads the record's list by its exact type: int8 must travel as
// QList<char>, not as a list of some wider integer.
void TestCliParse::valuesKeepTheirOrderInTheRecordsListType()
{
    const struct {
        DataType type;
        int listType;
    } lists[] = {
        {DT_Bool, qMetaTypeId<QList<bool>>()},
        {DT_Int8, qMetaTypeId<QList<char>>()},
        {DT_UInt8, qMetaTypeId<QList<unsigned char>>()},
        {DT_Int16, qMetaTypeId<QList<short>>()},
        {DT_UInt16, qMetaTypeId<QList<unsigned short>>()},
        {DT_Int32, qMetaTypeId<QList<int>>()},
        {DT_UInt32, qMetaTypeId<QList<unsigned int>>()},
        {DT_Float, qMetaTypeId<QList<float>>()},
        {DT_Int64, qMetaTypeId<QList<qint64>>()},
        {DT_UInt64, qMetaTypeId<QList<quint64>>()},
        {DT_Double, qMetaTypeId<QList<double>>()},
    };
    for (const auto &entry : lists) {
        QVariant list;
        QCOMPARE(ValueText::parseValues(entry.type, {"1", "0", "1"}, &list), QString());
        QCOMPARE(list.userType(), entry.listType);
        QStringList texts;
        QVERIFY(ValueText::formatValues(entry.type, list, ValueText::Style::Plain, &texts));
        QCOMPARE(texts, (QStringList{"1", "0", "1"}));
    }
    QVariant list;
    QCOMPARE(ValueText::parseValues(DT_Int8, {"-5", "5"}, &list), QString());
    QCOMPARE(list.value<QList<char>>(), (QList<char>{char(0xFB), char(5)}));

    QVERIFY(!ValueText::parseValues(DT_QString, {"1"}, &list).isEmpty());
}

void TestCliParse::jsonValuesAsTexts_data()
{
    // JSON values, as a write request carries them, for a type: the texts
    // parseValues reads, or the start of the refusal.
    addColumns<int, QByteArray, QStringList, QString>("type", "json", "texts", "refusal");
    QTest::newRow("strings, flags, numbers") << int(DT_Int32) << QByteArray(R"(["0xFF", true, false, -7, 2.5])")
                                             << QStringList{"0xFF", "1", "0", "-7", "2.5"} << QString();
    QTest::newRow("integer up to 2^53") << int(DT_Int64) << QByteArray("[9007199254740992]")
                                        << QStringList{"9007199254740992"} << QString();
    QTest::newRow("integer past 2^53") << int(DT_UInt64) << QByteArray("[18446744073709551615]") << QStringList()
                                       << QString("a whole number past 2^53");
    QTest::newRow("double past 2^53") << int(DT_Double) << QByteArray("[1e20, -3e19]")
                                      << QStringList{"1e+20", "-3e+19"} << QString();
    QTest::newRow("float past 2^53") << int(DT_Float) << QByteArray("[1e20]") << QStringList{"1e+20"} << QString();
    QTest::newRow("null") << int(DT_Int16) << QByteArray("[null]") << QStringList() << QString("a value is");
    QTest::newRow("array") << int(DT_Double) << QByteArray("[[1]]") << QStringList() << QString("a value is");
}

void TestCliParse::jsonValuesAsTexts()
{
    QFETCH(int, type);
    QFETCH(QByteArray, json);
    QFETCH(QStringList, texts);
    QFETCH(QString, refusal);
    QStringList found;
    const QString why = ValueText::textsFromJson(DataType(type), QJsonDocument::fromJson(json).array(), &found);
    if (refusal.isEmpty()) {
        QCOMPARE(why, QString());
        QCOMPARE(found, texts);
    } else {
        QVERIFY2(why.startsWith(refusal), qPrintable(why));
    }
}

void TestCliParse::acceptedCommandLines()
{
    ParsedArguments parsed = parseArguments(words("127.0.0.1:500 read D100 int16"));
    QCOMPARE(parsed.error, QString());
    Invocation invocation = parsed.invocation;
    QCOMPARE(invocation.command, Invocation::Read);
    QCOMPARE(invocation.connection, QStringLiteral("127.0.0.1:500"));
    QCOMPARE(invocation.items.size(), 1);
    QCOMPARE(invocation.items.at(0).label, QStringLiteral("D100"));
    QCOMPARE(invocation.items.at(0).type, DT_Int16);
    QCOMPARE(invocation.items.at(0).count, 1);
    QVERIFY(!invocation.items.at(0).countGiven);
    QVERIFY(invocation.stationText.isEmpty());

    // Options before, between and after the words; both option forms.
    parsed = parseArguments(words("--json --station=012 /dev/ttyS1,9600,7,1,E poll X0 BOOL "
                                  "--interval 200 16 --times 5 --debug --plugin ./lib.so --pcap=poll.pcap"));
    QCOMPARE(parsed.error, QString());
    invocation = parsed.invocation;
    QCOMPARE(invocation.command, Invocation::Poll);
    QCOMPARE(invocation.connection, QStringLiteral("/dev/ttyS1,9600,7,1,E"));
    QCOMPARE(invocation.items.size(), 1);
    QCOMPARE(invocation.items.at(0).type, DT_Bool);
    QCOMPARE(invocation.items.at(0).count, 16);
    QVERIFY(invocation.items.at(0).countGiven);
    QCOMPARE(invocation.stationText, QStringLiteral("12"));
    QCOMPARE(invocation.intervalMs, 200);
    QCOMPARE(invocation.times, 5);
    QVERIFY(invocation.json() && invocation.debug);
    QCOMPARE(invocation.pluginPath, QStringLiteral("./lib.so"));
    QCOMPARE(invocation.pcapPath, QStringLiteral("poll.pcap"));

    // Negative numbers and -inf are values, not options.
    parsed = parseArguments(words("127.0.0.1:500 write D100 float -5 -inf -.5"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.count, 3);
    QVERIFY(parsed.invocation.countGiven);
    const QList<float> floats = parsed.invocation.values.value<QList<float>>();
    QCOMPARE(floats, (QList<float>{-5.0f, -std::numeric_limits<float>::infinity(), -0.5f}));

    parsed = parseArguments(words("127.0.0.1:500 write D100 int16 -- -5"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.count, 1);
    QVERIFY(!parsed.invocation.countGiven);

    parsed = parseArguments(words("info"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.command, Invocation::Info);
    QVERIFY(parsed.invocation.connection.isEmpty());

    // Several items, each read in turn.
    parsed = parseArguments(words("--csv 127.0.0.1:500 poll D100:int16 x0:BOOL:8 D200:float"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.format, Invocation::Csv);
    const QList<ReadItem> items = parsed.invocation.items;
    QCOMPARE(items.size(), 3);
    QCOMPARE(items.at(1).label, QStringLiteral("x0"));
    QCOMPARE(items.at(1).type, DT_Bool);
    QCOMPARE(items.at(1).count, 8);
    QVERIFY(items.at(1).countGiven && !items.at(0).countGiven && !items.at(2).countGiven);
    QCOMPARE(items.at(2).type, DT_Float);

    parsed = parseArguments(words("--stations 3-10 --first --bauds 9600,19200 --formats 8N1,7e2 "
                                  "/dev/ttyS1,9600,8,1,N scan"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.command, Invocation::Scan);
    QCOMPARE(parsed.invocation.firstStation, 3);
    QCOMPARE(parsed.invocation.lastStation, 10);
    QVERIFY(parsed.invocation.firstOnly);
    QCOMPARE(parsed.invocation.bauds, (QList<int>{9600, 19200}));
    QCOMPARE(parsed.invocation.formats.size(), 2);
    QCOMPARE(parsed.invocation.formats.at(1).text(), QStringLiteral("7E2"));
    parsed = parseArguments(words("127.0.0.1:500 scan"));
    QCOMPARE(parsed.invocation.firstStation, 0);
    QCOMPARE(parsed.invocation.lastStation, 255);

    parsed = parseArguments(words("127.0.0.1:500 write --merge Y3 bool 1 0 on"));
    QCOMPARE(parsed.error, QString());
    QVERIFY(parsed.invocation.merge);
    QCOMPARE(parsed.invocation.values.value<QList<bool>>(), (QList<bool>{true, false, true}));

    // watch: poll's items and options, and its page.
    parsed = parseArguments(words("--http :8081 --allow-write --keep 3 --interval 250 "
                                  "127.0.0.1:500 watch D100:int16 M0:bool:4"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.command, Invocation::Watch);
    QCOMPARE(parsed.invocation.items.size(), 2);
    QCOMPARE(parsed.invocation.httpHost, QStringLiteral("127.0.0.1"));
    QCOMPARE(parsed.invocation.httpPort, 8081);
    QVERIFY(parsed.invocation.allowWrite);
    QCOMPARE(parsed.invocation.keepMinutes, 3);
    parsed = parseArguments(words("--http [::1]:0 127.0.0.1:500 watch D100 int16"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.httpHost, QStringLiteral("::1"));
    parsed = parseArguments(words("--csv-wide --hex 127.0.0.1:500 poll D100:int16:2"));
    QCOMPARE(parsed.error, QString());
    QCOMPARE(parsed.invocation.format, Invocation::CsvWide);
    QVERIFY(parsed.invocation.hex);

    parsed = parseArguments(words("--version --plugin ./lib.so"));
    QCOMPARE(parsed.error, QString());
    QVERIFY(parsed.invocation.version);
}

void TestCliParse::refusedCommandLines_data()
{
    addColumns<QString, QString>("line", "message");

    QTest::newRow("nothing") << "" << "nothing to do";
    QTest::newRow("misspelt option") << "--tims 5 127.0.0.1:500 poll D0 int16"
                                     << "unknown option \"--tims\"";
    QTest::newRow("unknown short option") << "-x 127.0.0.1:500 info" << "unknown option \"-x\"";
    QTest::newRow("option without value") << "127.0.0.1:500 info --station"
                                          << "--station needs a value";
    QTest::newRow("flag with value") << "--json=1 127.0.0.1:500 info" << "--json takes no value";
    QTest::newRow("station too high") << "--station 256 127.0.0.1:500 info"
                                      << "station \"256\" is not a number from 0 to 255";
    QTest::newRow("station negative") << "--station=-1 127.0.0.1:500 info" << "station \"-1\"";
    QTest::newRow("times zero") << "--times 0 127.0.0.1:500 poll D0 int16" << "times \"0\"";
    QTest::newRow("interval not a number") << "--interval fast 127.0.0.1:500 poll D0 int16"
                                           << "interval \"fast\"";
    QTest::newRow("interval on read") << "--interval 5 127.0.0.1:500 read D0 int16"
                                      << "--interval applies to poll and watch only";
    QTest::newRow("times on write") << "--times 2 127.0.0.1:500 write D0 int16 1"
                                    << "--times applies to poll and watch only";
    QTest::newRow("no command") << "127.0.0.1:500" << "a command must follow the connection";
    // The forms added for commissioning.
    QTest::newRow("item without type") << "127.0.0.1:500 read D100 X0:bool" << "unknown type \"X0:bool\"";
    QTest::newRow("item with two colons too many") << "127.0.0.1:500 poll D100:int16:2:3"
                                                   << "\"D100:int16:2:3\" is not an item";
    QTest::newRow("item bad count") << "127.0.0.1:500 read D100:int16 X0:bool:0" << "count \"0\"";
    QTest::newRow("item bad label") << "127.0.0.1:500 read Q1:int16" << "\"Q1\" is not a label";
    QTest::newRow("item bad type") << "127.0.0.1:500 poll D1:int12" << "unknown type \"int12\"";
    QTest::newRow("bit write") << "127.0.0.1:500 write Y3 bool 1 0 1"
                               << "\"write Y3 uint16 0x0005\" sets the 16 bits from Y3 on";
    QTest::newRow("merge of a word type") << "127.0.0.1:500 write --merge D1 int16 5"
                                          << "--merge changes bits";
    QTest::newRow("merge of 17 bits") << "127.0.0.1:500 write --merge Y0 bool 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1"
                                      << "at most 16 values";
    QTest::newRow("merge on read") << "--merge 127.0.0.1:500 read D1 int16" << "--merge applies to write only";
    QTest::newRow("stations reversed") << "--stations 9-3 127.0.0.1:500 scan" << "stations \"9-3\"";
    QTest::newRow("stations too high") << "--stations 0-256 127.0.0.1:500 scan" << "stations \"0-256\"";
    QTest::newRow("stations on read") << "--stations 1-3 127.0.0.1:500 read D1 int16"
                                      << "--stations applies to scan only";
    QTest::newRow("station on scan") << "--station 3 127.0.0.1:500 scan" << "scan tries those of --stations";
    QTest::newRow("bauds over TCP") << "--bauds 9600 127.0.0.1:500 scan" << "a scan of a serial line only";
    QTest::newRow("baud the driver cannot set") << "--bauds 9600,300 ttyS1,9600,8,1,N scan" << "baud rate \"300\"";
    QTest::newRow("format") << "--formats 8N1,8X1 ttyS1,9600,8,1,N scan" << "line format \"8X1\"";
    QTest::newRow("scan argument") << "127.0.0.1:500 scan D0" << "unexpected argument \"D0\"";
    QTest::newRow("csv on info") << "--csv 127.0.0.1:500 info" << "--csv applies to read, write, poll and watch";
    QTest::newRow("json and csv") << "--csv --json 127.0.0.1:500 read D1 int16" << "exclude each other";
    QTest::newRow("csv and csv-wide") << "--csv --csv-wide 127.0.0.1:500 read D1 int16" << "exclude each other";
    QTest::newRow("csv-wide by address") << "--csv-wide --by-address 127.0.0.1:500 read D1 int16 2"
                                         << "drop --by-address";
    QTest::newRow("hex on write") << "--hex 127.0.0.1:500 write D1 int16 1" << "--hex applies to read and poll";
    QTest::newRow("http on poll") << "--http :0 127.0.0.1:500 poll D1 int16" << "--http applies to watch only";
    QTest::newRow("allow-write on read") << "--allow-write 127.0.0.1:500 read D1 int16"
                                         << "--allow-write applies to watch only";
    QTest::newRow("http port") << "--http 127.0.0.1:70000 127.0.0.1:500 watch D1 int16" << "not a number from 0";
    QTest::newRow("http host name") << "--http localhost:80 127.0.0.1:500 watch D1 int16" << "numeric address";
    QTest::newRow("watch without items") << "127.0.0.1:500 watch" << "watch needs LABEL TYPE";
    QTest::newRow("unknown command") << "127.0.0.1:500 dump D0" << "unknown command \"dump\"";
    QTest::newRow("no connection") << "read D100 int16" << "read needs a CONNECTION before it";
    QTest::newRow("read without type") << "127.0.0.1:500 read D100" << "read needs LABEL TYPE";
    QTest::newRow("write without value") << "127.0.0.1:500 write D100 int16"
                                         << "write needs LABEL TYPE VALUE";
    QTest::newRow("unknown type") << "127.0.0.1:500 read D100 int12"
                                  << "unknown type \"int12\"; the types are bool, int8,";
    QTest::newRow("unknown area") << "127.0.0.1:500 read Q5 int16" << "\"Q5\" is not a label";
    QTest::newRow("number too long") << "127.0.0.1:500 read D12345 int16"
                                     << "\"D12345\" is not a label";
    QTest::newRow("count zero") << "127.0.0.1:500 read D100 int16 0"
                                << "count \"0\" is not a whole number of at least 1 (one read takes at most 255 registers or bits)";
    QTest::newRow("count word") << "127.0.0.1:500 poll D100 int16 many" << "count \"many\"";
    QTest::newRow("extra argument") << "127.0.0.1:500 read D100 int16 2 3"
                                    << "unexpected argument \"3\"";
    QTest::newRow("info argument") << "127.0.0.1:500 info D100" << "unexpected argument \"D100\"";
    QTest::newRow("bad value") << "127.0.0.1:500 write D100 int16 5 70000"
                               << "\"70000\" is out of range for int16 (-32768 to 32767)";
    QTest::newRow("placeholder in text") << "127.0.0.1:500 read D100 int16 %1"
                                         << "count \"%1\" is not";
}

void TestCliParse::refusedCommandLines()
{
    QFETCH(QString, line);
    QFETCH(QString, message);
    const ParsedArguments parsed = parseArguments(words(line.toLatin1().constData()));
    QVERIFY2(parsed.error.contains(message), qPrintable(parsed.error));
}

void TestCliParse::connections_data()
{
    // message: empty when accepted
    addColumns<QString, QString>("connection", "message");

    QTest::newRow("tcp") << "192.168.1.5:500" << "";
    QTest::newRow("serial") << "/dev/ttyS1,9600,8,1,N" << "";
    QTest::newRow("serial lower-case parity, 1.5 stop bits") << "ttyS0,115200,7,3,e" << "";
    QTest::newRow("no port") << "192.168.1.5" << "is not a connection";
    QTest::newRow("semicolon") << "192.168.1.5;500" << "is not a connection";
    QTest::newRow("host name") << "plc.local:500" << "not a numeric IPv4 address";
    QTest::newRow("IPv6") << "::1:500" << "the driver takes IPv4 addresses only";
    QTest::newRow("IPv6 in brackets") << "[::1]:500" << "the driver takes IPv4 addresses only";
    QTest::newRow("octet too big") << "192.168.1.256:500" << "not a numeric IPv4 address";
    QTest::newRow("port zero") << "192.168.1.5:0" << "port \"0\" is not a number from 1 to 65535";
    QTest::newRow("port too big") << "192.168.1.5:65536" << "port \"65536\"";
    QTest::newRow("serial two fields") << "ttyS1,9600" << "a serial connection has five fields";
    QTest::newRow("serial no port") << ",9600,8,1,N" << "names no port";
    QTest::newRow("baud the driver cannot set") << "ttyS1,300,8,1,N" << "baud rate \"300\"";
    QTest::newRow("data bits") << "ttyS1,9600,9,1,N" << "data bits \"9\"";
    QTest::newRow("stop bits") << "ttyS1,9600,8,0,N" << "stop bits \"0\"";
    // The driver would take the N of "even" and set no parity.
    QTest::newRow("parity word") << "ttyS1,9600,8,1,even" << "parity \"even\" is not N, E or O";
}

void TestCliParse::connections()
{
    QFETCH(QString, connection);
    QFETCH(QString, message);
    const QString error = checkConnection(connection);
    if (message.isEmpty())
        QCOMPARE(error, QString());
    else
        QVERIFY2(error.contains(message), qPrintable(error));
}

void TestCliParse::help()
{
    ParsedArguments parsed = parseArguments(words("--help"));
    QVERIFY(parsed.error.isEmpty() && parsed.invocation.help);
    QCOMPARE(parsed.invocation.command, Invocation::NoCommand);

    // Help wins over whatever else is wrong on the line.
    parsed = parseArguments(words("127.0.0.1:500 write --help D100 bogus"));
    QVERIFY(parsed.error.isEmpty() && parsed.invocation.help);
    QCOMPARE(parsed.invocation.command, Invocation::Write);
    parsed = parseArguments(words("-h poll"));
    QCOMPARE(parsed.invocation.command, Invocation::Poll);
}

QTEST_APPLESS_MAIN(TestCliParse)
#include "tst_cliparse.moc"
