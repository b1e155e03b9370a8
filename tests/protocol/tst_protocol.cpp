// SPDX-License-Identifier: LGPL-2.1-or-later
// The protocol floor: the label and value grammars, the limits, and the
// tables other code keeps of them (the simulator's frame code, the dissector).

#include "Areas.h"
#include "Limits.h"
#include "SerialLine.h"
#include "SimulatorErrors.h"
#include "TestTable.h"
#include "ValueGrammar.h"
#include "simframe.h"

#include <QtCore/QFile>
#include <QtCore/QRegularExpression>
#include <QtTest/QtTest>

#include <iterator>

Q_DECLARE_METATYPE(Areas::Area)
Q_DECLARE_METATYPE(ValueTypes::Type)

namespace {

using Type = ValueTypes::Type;

// The body of `local NAME = { ... }` in the dissector.
QString luaTable(const QString &name)
{
    QFile file(QStringLiteral(NORVO_DISSECTOR));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString lua = QString::fromUtf8(file.readAll());
    const QRegularExpression table(QStringLiteral("\\nlocal %1 = \\{(.*?)\\n\\}").arg(name),
                                   QRegularExpression::DotMatchesEverythingOption);
    return table.match(lua).captured(1);
}

} // namespace

class TestProtocol : public QObject
{
    Q_OBJECT

private slots:
    void labels_data();
    void labels();
    void integerRanges_data();
    void integerRanges();
    void values_data();
    void values();
    void refusedValues_data();
    void refusedValues();
    void limitsFitTheFrame();
    void areaCodesAreTheSimulators();
    void simulatorErrors();
    void dissectorTables();
};

void TestProtocol::labels_data()
{
    addColumns<QString, Areas::Area, int>("text", "area", "element");
    const struct {
        const char *text;
        Areas::Area area;
        int element;
    } rows[] = {
        {"D100", Areas::Area::D, 100},   {"d0", Areas::Area::D, 0},      {"R7", Areas::Area::R, 7},
        {"HR7", Areas::Area::R, 7},      {"DR7", Areas::Area::R, 7},     {"TMR5", Areas::Area::RT, 5},
        {"ctr12", Areas::Area::RC, 12},  {"X17", Areas::Area::X, 17},    {"Y0", Areas::Area::Y, 0},
        {"M0016", Areas::Area::M, 16},   {"S3", Areas::Area::S, 3},      {"T5", Areas::Area::T, 5},
        {"C9999", Areas::Area::C, 9999},
        // Refused: no area, no number, five digits, anything around them.
        {"", Areas::Area::None, -1},     {"D", Areas::Area::None, -1},   {"100", Areas::Area::None, -1},
        {"Q5", Areas::Area::None, -1},   {"D12345", Areas::Area::None, -1},
        {"D00100", Areas::Area::None, -1}, {"D-1", Areas::Area::None, -1},
        {"D1A2", Areas::Area::None, -1}, {"SD1", Areas::Area::None, -1},  {"D 100", Areas::Area::None, -1},
        {"XY1", Areas::Area::None, -1},  {"RT5", Areas::Area::None, -1},  {"WX0", Areas::Area::None, -1},
    };
    for (const auto &row : rows)
        QTest::newRow(*row.text ? row.text : "empty") << QString::fromLatin1(row.text) << row.area << row.element;
}

void TestProtocol::labels()
{
    QFETCH(QString, text);
    QFETCH(Areas::Area, area);
    QFETCH(int, element);
    const Areas::Label label = Areas::parseLabel(text);
    QCOMPARE(label.area, area);
    if (label.isValid())
        QCOMPARE(label.element, element);
}

// Every integer type at and just beyond both ends of its range.
void TestProtocol::integerRanges_data()
{
    addColumns<Type, QString, bool, quint64>("type", "text", "accepted", "pattern");
    const struct {
        Type type;
        const char *low, *belowLow, *high, *aboveHigh;
        quint64 lowPattern, highPattern;
    } ranges[] = {
        {Type::Int8, "-128", "-129", "127", "128", 0x80, 0x7F},
        {Type::UInt8, "0", "-1", "255", "256", 0, 0xFF},
        {Type::Int16, "-32768", "-32769", "32767", "32768", 0x8000, 0x7FFF},
        {Type::UInt16, "0", "-1", "65535", "65536", 0, 0xFFFF},
        {Type::Int32, "-2147483648", "-2147483649", "2147483647", "2147483648", 0x80000000u, 0x7FFFFFFF},
        {Type::UInt32, "0", "-1", "4294967295", "4294967296", 0, 0xFFFFFFFFu},
        {Type::Int64, "-9223372036854775808", "-9223372036854775809", "9223372036854775807",
         "9223372036854775808", quint64(1) << 63, ~quint64(0) >> 1},
        {Type::UInt64, "0", "-1", "18446744073709551615", "18446744073709551616", 0, ~quint64(0)},
    };
    for (const auto &range : ranges) {
        const QByteArray type = ValueTypes::name(range.type).toLatin1();
        QTest::newRow(type + " low") << range.type << range.low << true << range.lowPattern;
        QTest::newRow(type + " below") << range.type << range.belowLow << false << quint64(0);
        QTest::newRow(type + " high") << range.type << range.high << true << range.highPattern;
        QTest::newRow(type + " above") << range.type << range.aboveHigh << false << quint64(0);
    }
}

void TestProtocol::integerRanges()
{
    QFETCH(Type, type);
    QFETCH(QString, text);
    QFETCH(bool, accepted);
    QFETCH(quint64, pattern);

    quint64 parsed = 0;
    const QString error = ValueGrammar::parse(type, text, &parsed);
    if (!accepted) {
        QVERIFY2(error.startsWith(QLatin1Char('"') + text + QLatin1String("\" is out of range for ")),
                 qPrintable(error));
        return;
    }
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(parsed, pattern);
}

void TestProtocol::values_data()
{
    addColumns<Type, QString, quint64>("type", "text", "pattern");
    QTest::newRow("plus sign") << Type::Int16 << "+5" << quint64(5);
    QTest::newRow("int32 leading +") << Type::Int32 << "+42" << quint64(42);
    QTest::newRow("leading zeros") << Type::Int16 << "-007" << quint64(0xFFF9);
    QTest::newRow("uint16 -0 is 0") << Type::UInt16 << "-0" << quint64(0);
    QTest::newRow("negative int16") << Type::Int16 << "-5" << quint64(0xFFFB);
    QTest::newRow("hex is the bit pattern") << Type::Int16 << "0xFFFB" << quint64(0xFFFB);
    QTest::newRow("hex any case") << Type::UInt16 << "0X00ff" << quint64(0xFF);
    QTest::newRow("float hex") << Type::Float << "0x3F800000" << quint64(0x3F800000);
    QTest::newRow("float") << Type::Float << "3.25" << quint64(0x40500000);
    QTest::newRow("exponent") << Type::Double << "-2e3" << quint64(0xC09F400000000000);
    QTest::newRow("infinity") << Type::Float << "infinity" << quint64(0x7F800000);
    QTest::newRow("-INF") << Type::Double << "-INF" << quint64(0xFFF0000000000000);
    QTest::newRow("largest float, rounded") << Type::Float << "3.40282356e38" << quint64(0x7F7FFFFF);
    QTest::newRow("bit on") << Type::Bool << "on" << quint64(1);
    QTest::newRow("bit OFF") << Type::Bool << "OFF" << quint64(0);
    QTest::newRow("bit true") << Type::Bool << "true" << quint64(1);
    QTest::newRow("bit 0") << Type::Bool << "0" << quint64(0);
}

void TestProtocol::values()
{
    QFETCH(Type, type);
    QFETCH(QString, text);
    QFETCH(quint64, pattern);
    quint64 parsed = ~quint64(0);
    QCOMPARE(ValueGrammar::parse(type, text, &parsed), QString());
    QCOMPARE(parsed, pattern);
}

void TestProtocol::refusedValues_data()
{
    addColumns<Type, QString, QString>("type", "text", "reason");

    QTest::newRow("fraction for an integer") << Type::Int16 << "1.5" << "not a whole number";
    QTest::newRow("exponent for an integer") << Type::Int32 << "1e3" << "not a whole number";
    QTest::newRow("letters") << Type::Int16 << "12abc" << "not a number";
    QTest::newRow("empty") << Type::UInt8 << "" << "not a number";
    QTest::newRow("blank around") << Type::Int16 << " 5" << "not a number";
    QTest::newRow("sign twice") << Type::Int16 << "--5" << "not a number";
    QTest::newRow("decimal comma") << Type::Double << "1,5" << "not a number";
    QTest::newRow("two points") << Type::Float << "1.5.2" << "not a number";
    QTest::newRow("nan for an integer") << Type::Int32 << "nan" << "not a number";
    QTest::newRow("float too large") << Type::Float << "3.4028236e38" << "out of range for float";
    QTest::newRow("double too large") << Type::Double << "1e309" << "out of range for double";
    QTest::newRow("hex too wide") << Type::Int16 << "0x10000" << "does not fit in int16 (hex up to 0xFFFF)";
    QTest::newRow("hex too wide for float") << Type::Float << "0x100000000" << "does not fit in float";
    QTest::newRow("hex without digits") << Type::UInt16 << "0x" << "not a hex number";
    QTest::newRow("hex bad digit") << Type::UInt16 << "0x12G" << "not a hex number";
    QTest::newRow("hex with sign") << Type::Int16 << "-0x10" << "takes no sign";
    QTest::newRow("bit 2") << Type::Bool << "2" << "not a bit value";
    QTest::newRow("bit word") << Type::Bool << "yes" << "not a bit value";
    QTest::newRow("bit in hex") << Type::Bool << "0x1" << "not a bit value";
}

void TestProtocol::refusedValues()
{
    QFETCH(Type, type);
    QFETCH(QString, text);
    QFETCH(QString, reason);
    quint64 parsed = 0;
    const QString error = ValueGrammar::parse(type, text, &parsed);
    QVERIFY2(error.contains(reason), qPrintable(error));
    QVERIFY2(error.startsWith(QLatin1Char('"') + text + QLatin1Char('"')), qPrintable(error));
}

// The limits are what the simulator's frame code takes: the largest
// station, count and element in their fields, the longest request.
void TestProtocol::limitsFitTheFrame()
{
    const int first = Areas::lastElement - Limits::maxUnits + 1;
    const QByteArray write = SimFrame::hex(Limits::maxStation, 2) + "47" + SimFrame::hex(Limits::maxUnits, 2)
                             + "D0" + QByteArray::number(first) + QByteArray(4 * Limits::maxUnits, '0');
    const SimRequest request = SimFrame::parseRequest(SimFrame::frame(write));
    QCOMPARE(request.error, SimErrorCode::none);
    QCOMPARE(request.station, Limits::maxStation);
    QCOMPARE(request.count, Limits::maxUnits);
    QCOMPARE(SimFrame::frame(write).size(), SimFrame::maxRequestLength);
    QCOMPARE(QString::number(Areas::lastElement).size(), Areas::elementDigits);
    QCOMPARE(SimAreas::elementCount, Areas::elementCount);
    QCOMPARE(Limits::maxWriteCount, 65535);
    QCOMPARE(SerialLine::baudRateText(), QStringLiteral("1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200"));
    QVERIFY(SerialLine::isParity(QLatin1Char('e')) && !SerialLine::isParity(QLatin1Char('M')));
}

// The driver's area characters are the ones the simulator, written apart,
// knows; every prefix listed for people is one.
void TestProtocol::areaCodesAreTheSimulators()
{
    for (const Areas::Info &info : Areas::table) {
        const SimArea area = SimAreas::fromRegisterCode(info.first, info.second);
        QCOMPARE(int(info.bits ? SimAreas::bitAreaOf(area) : area), int(info.area));
        if (info.bits)
            QCOMPARE(int(SimAreas::fromBitCode(info.second)), int(info.area));
        QCOMPARE(Areas::fromPrefix(QLatin1String(info.prefix)), info.area);
    }
    for (const QString &prefix : Areas::prefixList().split(QStringLiteral(", ")))
        QVERIFY2(Areas::fromPrefix(prefix) != Areas::Area::None, qPrintable(prefix));
}

void TestProtocol::simulatorErrors()
{
    const struct {
        char code;
        const char *text;
    } codes[] = {
        {SimErrorCode::checksum, "PLC error code 1 (norvo-sim: the request's checksum was wrong)"},
        {SimErrorCode::unknownCommand, "PLC error code 2 (norvo-sim: unknown command)"},
        {SimErrorCode::malformed, "PLC error code 3 (norvo-sim: malformed request)"},
        {SimErrorCode::unknownArea, "PLC error code 4 (norvo-sim: unknown area)"},
        {SimErrorCode::outOfRange, "PLC error code 5 (norvo-sim: elements past 9999)"},
        {SimErrorCode::busy, "PLC error code 6 (norvo-sim: busy)"},
        {'9', "PLC error code 9 (no known meaning)"},
    };
    for (const auto &code : codes)
        QCOMPARE(SimulatorErrors::describe(code.code), QLatin1String(code.text));
}

// The dissector's tables, parsed from its Lua, are the floor's.
void TestProtocol::dissectorTables()
{
    const QString errors = luaTable(QStringLiteral("errors"));
    QVERIFY2(!errors.isEmpty(), "no errors table in " NORVO_DISSECTOR);
    QMap<char, QString> luaErrors;
    const QRegularExpression errorRow(QStringLiteral("\\[(\\d)\\] = \"([^\"]*)\""));
    for (auto rows = errorRow.globalMatch(errors); rows.hasNext();) {
        const QRegularExpressionMatch row = rows.next();
        luaErrors.insert(row.captured(1).at(0).toLatin1(), row.captured(2));
    }
    QCOMPARE(luaErrors.take('0'), QStringLiteral("no error"));
    QCOMPARE(luaErrors.size(), int(std::size(SimulatorErrors::meanings)));
    for (auto it = luaErrors.cbegin(); it != luaErrors.cend(); ++it)
        QCOMPARE(it.value(), SimulatorErrors::meaning(it.key()));

    const QString registers = luaTable(QStringLiteral("register_areas"));
    const QRegularExpression areaRow(QStringLiteral("(\\w)(\\w) = \\{ prefix = \"(\\w+)\", step = (\\d+) \\}"));
    int rows = 0;
    for (auto it = areaRow.globalMatch(registers); it.hasNext(); ++rows) {
        const QRegularExpressionMatch row = it.next();
        const Areas::Area area = Areas::fromPrefix(row.captured(3));
        QCOMPARE(Areas::requestCode(area),
                 row.captured(1).at(0).toLatin1() << 8 | row.captured(2).at(0).toLatin1());
        QCOMPARE(row.captured(4).toInt(), Areas::holdsBits(area) ? 16 : 1);
    }
    QCOMPARE(rows, int(std::size(Areas::table)));

    QFile file(QStringLiteral(NORVO_DISSECTOR));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QRegularExpression bitLine(QStringLiteral("\\nlocal bit_areas = \\{ (.*) \\}\\n"));
    const QString bits = bitLine.match(QString::fromUtf8(file.readAll())).captured(1);
    QStringList expected;
    for (const Areas::Info &info : Areas::table) {
        if (info.bits)
            expected << QStringLiteral("%1 = true").arg(QLatin1String(info.prefix));
    }
    QCOMPARE(bits.split(QStringLiteral(", ")), expected);
}

QTEST_GUILESS_MAIN(TestProtocol)
#include "tst_protocol.moc"
