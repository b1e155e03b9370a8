// SPDX-License-Identifier: LGPL-2.1-or-later
// Tag files as spreadsheets save them, and every line the node must refuse.

#include "TestTable.h"
#include "tagfile.h"

#include <QtTest/QtTest>

namespace {

// A tag in one line: name label area element type count period deadband writable.
QString summary(const TagFile::Tag &tag)
{
    return QStringList{tag.name, tag.label, Areas::prefix(tag.area), QString::number(tag.element),
                       ValueTypes::name(tag.type), QString::number(tag.count), QString::number(tag.periodMs),
                       tag.hasDeadband() ? QString::number(tag.deadband) : QStringLiteral("-"),
                       tag.writable ? QStringLiteral("w") : QStringLiteral("r")}
        .join(QLatin1Char(' '));
}

const QByteArray header = "name,label,type,count,period_ms,deadband,writable\n";

} // namespace

class TestEdgeTagFile : public QObject
{
    Q_OBJECT

private slots:
    void accepted_data();
    void accepted();
    void refused_data();
    void refused();
    void unreadableFile();
};

void TestEdgeTagFile::accepted_data()
{
    addColumns<QByteArray, QStringList>("file", "tags");
    QTest::newRow("three columns, defaults") << QByteArray("name,label,type\ntemp,D100,int16\n")
                                             << QStringList{"temp D100 D 100 int16 1 1000 - r"};
    QTest::newRow("every column") << header + "flow,HR7,FLOAT,2,250,0.5,yes\n"
                                  << QStringList{"flow HR7 HR 7 float 2 250 0.5 w"};
    QTest::newRow("empty fields take the defaults")
        << header + "a,d1,uint32,,,,\nb,TMR5,double,,,0,\n"
        << QStringList{"a d1 D 1 uint32 1 1000 - r", "b TMR5 TMR 5 double 1 1000 0 r"};
    QTest::newRow("BOM, CRLF, blanks, comments, empty rows")
        << QByteArray("\xEF\xBB\xBF# made by hand\r\nName,Label,Type,Count\r\n\r\n  # off: x,D1,int16\r\n"
                      ",,,\r\nx,X17,bool,8\r\n   \r\n")
        << QStringList{"x X17 X 17 bool 8 1000 - r"};
    QTest::newRow("quotes and spaces")
        << QByteArray("name,label,type\n\"a,b\", D1 ,\"int16\"\n \"say \"\"hi\"\"\" , D2,int8\n  c d  ,D3,int8\n")
        << QStringList{"a,b D1 D 1 int16 1 1000 - r", "say \"hi\" D2 D 2 int8 1 1000 - r",
                       "c d D3 D 3 int8 1 1000 - r"};
    QTest::newRow("writable words")
        << header + "a,D1,int16,,,,TRUE\nb,D2,int16,,,,no\nc,D3,int16,,,,1\nd,D4,int16,,,,0\ne,D5,int16,,,,false\n"
        << QStringList{"a D1 D 1 int16 1 1000 - w", "b D2 D 2 int16 1 1000 - r", "c D3 D 3 int16 1 1000 - w",
                       "d D4 D 4 int16 1 1000 - r", "e D5 D 5 int16 1 1000 - r"};
    QTest::newRow("names differ in case only; trailing empty fields")
        << QByteArray("name,label,type\nTemp,D1,int16,,\ntemp,D2,int16\n")
        << QStringList{"Temp D1 D 1 int16 1 1000 - r", "temp D2 D 2 int16 1 1000 - r"};
    // One request carries 255 units: bits on X and Y, registers elsewhere.
    QTest::newRow("counts up to one request")
        << header + "a,D0,int16,255\nb,X0,bool,255\nc,Y0,int16,15\nd,D0,bool,4080\ne,M0,int8,510\n"
                    "f,D0,double,63\ng,X0,uint8,31\nh,D9,uint8,2,10,,yes\ni,D9,int32,1,3600000,1e3\n"
        << QStringList{"a D0 D 0 int16 255 1000 - r", "b X0 X 0 bool 255 1000 - r",
                       "c Y0 Y 0 int16 15 1000 - r",  "d D0 D 0 bool 4080 1000 - r",
                       "e M0 M 0 int8 510 1000 - r",  "f D0 D 0 double 63 1000 - r",
                       "g X0 X 0 uint8 31 1000 - r",  "h D9 D 9 uint8 2 10 - w",
                       "i D9 D 9 int32 1 3600000 1000 r"};
}

void TestEdgeTagFile::accepted()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, tags);
    QList<TagFile::Tag> read;
    QCOMPARE(TagFile::parse(file, QStringLiteral("tags.csv"), &read), QString());
    QStringList summaries;
    for (const TagFile::Tag &tag : read)
        summaries << summary(tag);
    QCOMPARE(summaries, tags);
}

void TestEdgeTagFile::refused_data()
{
    // The whole reason where it is short; else its start and the value it names.
    addColumns<QByteArray, QString, QString>("file", "start", "names");
    const QByteArray one = "name,label,type,count,period_ms,deadband,writable\n";
    const auto row = [&](const char *name, const QByteArray &line, const char *start, const char *names) {
        QTest::newRow(name) << one + line << QString::fromUtf8(start) << QString::fromUtf8(names);
    };
    QTest::newRow("empty") << QByteArray("\n# nothing\n") << "tags.csv: no header line" << "";
    QTest::newRow("header only") << header << "tags.csv: no tags, only the header" << "";
    QTest::newRow("columns out of order") << QByteArray("name,type,label\nx,int16,D1\n")
                                          << "tags.csv:1: header column 2 is \"type\", not \"label\"" << "";
    QTest::newRow("header too short") << QByteArray("name,label\nx,D1\n")
                                      << "tags.csv:1: the header has 2 columns" << "";
    QTest::newRow("unknown column") << header.trimmed() + ",unit\n" << "tags.csv:1: the header has 8 columns" << "";
    row("name empty", ",D1,int16\n", "tags.csv:2: name is empty", "");
    row("name with /", "a/b,D1,int16\n", "tags.csv:2: name \"a/b\" holds /", "");
    row("name with +", "a+,D1,int16\n", "tags.csv:2: name \"a+\" holds +", "");
    row("name with #", "\"#a\",D1,int16\n", "tags.csv:2: name \"#a\" holds #", "");
    row("name with a tab", "\"a\tb\",D1,int16\n", "tags.csv:2: name \"a\tb\" holds a control character", "");
    row("reserved status", "status,D1,int16\n", "tags.csv:2: name \"status\" is the node's own topic", "");
    row("reserved links", "links,D1,int16\n", "tags.csv:2: name \"links\" is the node's own topic", "");
    row("name twice", "a,D1,int16\n# between\n\na,D2,int16\n", "tags.csv:5: name \"a\" is taken by line 2", "");
    row("label area", "a,Q100,int16\n", "tags.csv:2: label \"Q100\" is not an area", "");
    row("label digits", "a,D10000,int16\n", "tags.csv:2: label \"D10000\"", "");
    row("label missing", "a,,int16\n", "tags.csv:2: label \"\"", "");
    row("type", "a,D1,int17\n", "tags.csv:2: type \"int17\" is none of bool, int8", "");
    row("count 0", "a,D1,int16,0\n", "tags.csv:2: count \"0\" is not a whole number of 1 or more", "");
    row("count fraction", "a,D1,int16,1.5\n", "tags.csv:2: count \"1.5\"", "");
    row("count too many registers", "a,D1,int16,256\n", "tags.csv:2: count \"256\"", "take 256 registers");
    row("count too many bits", "a,X0,bool,256\n", "tags.csv:2: count \"256\"", "take 256 bits");
    row("count values in bits", "a,Y0,int16,16\n", "tags.csv:2: count \"16\"", "take 256 bits");
    row("count bits in registers", "a,D0,bool,4081\n", "tags.csv:2: count \"4081\"", "take 256 registers");
    row("count bytes in registers", "a,D0,int8,511\n", "tags.csv:2: count \"511\"", "take 256 registers");
    row("count doubles", "a,D0,double,64\n", "tags.csv:2: count \"64\"", "take 256 registers");
    row("count past int", "a,D0,int16,99999999999\n", "tags.csv:2: count \"99999999999\"", "");
    row("period short", "a,D1,int16,1,9\n", "tags.csv:2: period_ms \"9\" is not a whole number from 10 to 3600000", "");
    row("period long", "a,D1,int16,1,3600001\n", "tags.csv:2: period_ms \"3600001\"", "");
    row("period unit", "a,D1,int16,1,1s\n", "tags.csv:2: period_ms \"1s\"", "");
    row("deadband negative", "a,D1,int16,,,-1\n", "tags.csv:2: deadband \"-1\" is not a number of 0 or more", "");
    row("deadband word", "a,D1,int16,,,abc\n", "tags.csv:2: deadband \"abc\"", "");
    row("deadband nan", "a,D1,int16,,,nan\n", "tags.csv:2: deadband \"nan\"", "");
    row("deadband inf", "a,D1,int16,,,inf\n", "tags.csv:2: deadband \"inf\"", "");
    row("deadband decimal comma", "a,D1,int16,,,\"0,5\"\n", "tags.csv:2: deadband \"0,5\"", "");
    row("deadband on bool", "a,D1,bool,,,0.5\n", "tags.csv:2: deadband \"0.5\": bool tags take none", "");
    row("writable word", "a,D1,int16,,,,maybe\n", "tags.csv:2: writable \"maybe\" is none of", "");
    row("writable bool", "a,D1,bool,,,,yes\n", "tags.csv:2: writable \"yes\": bool tags cannot be written", "");
    row("writable odd bytes", "a,D1,uint8,3,,,1\n", "tags.csv:2: writable \"1\": uint8 values are written two",
        "(3 given)");
    row("field past the header", "a,D1,int16,1,100,1,no,extra\n", "tags.csv:2: \"extra\" in column 8", "");
    row("quote not closed", "a,D1,int16\n\"b,D2,int16\n", "tags.csv:3: a quoted field is not closed", "");
    row("text after a quote", "\"a\"b,D1,int16\n", "tags.csv:2: text after the closing quote", "");
    row("line numbers through CRLF and comments", "a,D1,int16\r\n#x\r\n\r\nb,D2,int99\r\n", "tags.csv:5: type", "");
    row("Latin-1", "ok,D1,int16\ntemp\xE9,D2,int16\n", "tags.csv:3: not UTF-8 text", "");
}

void TestEdgeTagFile::refused()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, start);
    QFETCH(QString, names);
    QList<TagFile::Tag> tags{TagFile::Tag()};
    const QString reason = TagFile::parse(file, QStringLiteral("tags.csv"), &tags);
    QVERIFY2(reason.startsWith(start), qPrintable(reason));
    QVERIFY2(reason.contains(names), qPrintable(reason));
    QCOMPARE(tags.size(), 1); // untouched
}

void TestEdgeTagFile::unreadableFile()
{
    QList<TagFile::Tag> tags;
    const QString reason = TagFile::read(QStringLiteral("/nonexistent/tags.csv"), &tags);
    QVERIFY2(reason.startsWith(QLatin1String("/nonexistent/tags.csv: ")), qPrintable(reason));
}

QTEST_GUILESS_MAIN(TestEdgeTagFile)
#include "tst_edgetagfile.moc"
