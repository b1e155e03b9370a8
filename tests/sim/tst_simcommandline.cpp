// SPDX-License-Identifier: LGPL-2.1-or-later
// What a user types: the memory file with its line numbers, the dump that
// loads back, and the command line of norvo-sim.

#include "simlabel.h"
#include "simmemoryfile.h"
#include "simoptions.h"

#include <QtTest/QtTest>

class TestSimCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void memoryFileLoads();
    void badLinesAreReportedWithTheirNumber_data();
    void badLinesAreReportedWithTheirNumber();
    void dumpLoadsBack();
    void dumpKeepsTheFilesMeaning_data();
    void dumpKeepsTheFilesMeaning();
    void typedLinesLoad_data();
    void typedLinesLoad();
    void stationsRoundTrip();
    void optionsAreRead();
    void tcpAddressesAreRead_data();
    void tcpAddressesAreRead();
    void badOptionsAreRefused_data();
    void badOptionsAreRefused();
};

void TestSimCommandLine::memoryFileLoads()
{
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(QStringLiteral(
            "# start values\n"
            "D100 = 0x1234\r\n"
            "  x17=1   # inputs\n"
            "\n"
            "WM0 = 0xFF00\n"
            "TMR5 = -2\n"
            "ctr9 = 65535\n"
            "HR7 = 0X00ff\n"
            "R9999 = 1\n"
            "WC9984 = 0x8000"));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    SimMemory memory;
    SimMemoryFile::apply(loaded.assignments, &memory);
    QCOMPARE(memory.value(SimArea::D, 100), quint16(0x1234));
    QVERIFY(memory.bit(SimArea::X, 17));
    QVERIFY(!memory.bit(SimArea::M, 7));
    QVERIFY(memory.bit(SimArea::M, 8));
    QVERIFY(memory.bit(SimArea::M, 15));
    QVERIFY(!memory.bit(SimArea::M, 16));
    QCOMPARE(memory.value(SimArea::RT, 5), quint16(0xFFFE));
    QCOMPARE(memory.value(SimArea::RC, 9), quint16(0xFFFF));
    QCOMPARE(memory.value(SimArea::R, 7), quint16(0x00FF));
    QCOMPARE(memory.value(SimArea::R, 9999), quint16(1));
    QVERIFY(memory.bit(SimArea::C, 9999));
}

void TestSimCommandLine::badLinesAreReportedWithTheirNumber_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("saying");

    QTest::newRow("no equals sign") << "D100 0x12" << "LABEL = VALUE";
    QTest::newRow("two equals signs") << "D100 = 1 = 2" << "LABEL = VALUE";
    QTest::newRow("unknown area") << "Q5 = 1" << "unknown area \"Q\"";
    QTest::newRow("no number") << "D = 1" << "no label";
    QTest::newRow("element past 9999") << "D10000 = 1" << "past 9999";
    QTest::newRow("huge element") << "D99999999999999 = 1" << "past 9999";
    QTest::newRow("word past the bits") << "WX9985 = 1" << "past bit 9999";
    QTest::newRow("bit not 0 or 1") << "X1 = 2" << "not a bit value";
    QTest::newRow("register too large") << "D1 = 65536" << "-32768..65535";
    QTest::newRow("register too small") << "D1 = -32769" << "-32768..65535";
    QTest::newRow("value not a number") << "D1 = twelve" << "\"twelve\" is not a number";
    QTest::newRow("hex without digits") << "D1 = 0x" << "not a hex number";
    QTest::newRow("sign twice") << "D1 = --5" << "not a number";
    QTest::newRow("empty value") << "D1 =" << "not a number";
    QTest::newRow("empty value in a list") << "D1 = 1,,2" << "not a number";
    QTest::newRow("unknown type") << "D1:single = 1" << "unknown type \"single\"";
    QTest::newRow("typed not a number") << "D1:float = abc" << "not a number";
    QTest::newRow("typed out of range") << "D1:int8 = 128" << "out of range for int8";
    QTest::newRow("unsigned negative") << "D1:uint16 = -1" << "out of range for uint16";
    QTest::newRow("hex too wide") << "D1:int16 = 0x10000" << "does not fit in int16";
    QTest::newRow("typed bool") << "X1:bool = 2" << "not a bit value";
    QTest::newRow("typed past 9999") << "D9999:int32 = 1" << "reach past element 9999";
    QTest::newRow("list past 9999") << "X9998 = 1, 1, 1" << "reach past element 9999";
    QTest::newRow("station too large") << "@300 D1 = 1" << "0..255";
    QTest::newRow("station without label") << "@D1 = 1" << "@STATION";
    QTest::newRow("station not simulated") << "@9 D1 = 1" << "station 9 is not simulated";
    QTest::newRow("float too large, as written") << "D1:float = 1e39" << "\"1e39\" is out of range for float";
    QTest::newRow("no such generator") << "D1 = rmp(0, 10, 1, 1s)" << "\"rmp(0, 10, 1, 1s)\" is no generator";
    QTest::newRow("generator arguments") << "D1 = sine(0, 10)" << "sine(LOW, HIGH, PERIOD)";
    QTest::newRow("ramp away from its end") << "D1 = ramp(0, 10, -1, 1s)" << "lead from START to END";
    QTest::newRow("generator period") << "D1 = toggle(0.5ms)" << "the period";
    QTest::newRow("generator outside its type") << "D0:int16 = ramp(32000, 100000, 500, 10ms)"
                                                << "END \"100000\" is out of range for int16 (-32768 to 32767)";
    QTest::newRow("generator below an untyped register") << "D0 = sine(-10, 10, 1s)"
                                                         << "(D0 without a type is uint16)";
    QTest::newRow("walk upside down") << "D1 = walk(10, 0, 1, 1s)" << "LOW must not be above HIGH";
}

void TestSimCommandLine::typedLinesLoad_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("words");    // area and start of the registers or words checked
    QTest::addColumn<QVector<quint16>>("expected");

    // Registers low word first, 8-bit values high byte first, X and Y bit by bit.
    QTest::newRow("float") << "D300:float = 3.25" << "D300" << QVector<quint16>{0x0000, 0x4050};
    QTest::newRow("int32") << "D200:int32 = 100000" << "D200" << QVector<quint16>{0x86A0, 0x0001};
    QTest::newRow("list") << "D10 = 1, 2, 0x3" << "D10" << QVector<quint16>{1, 2, 3, 0};
    QTest::newRow("int8") << "D0:int8 = -1, 2, 3" << "D0" << QVector<quint16>{0xFF02, 0x0300};
    QTest::newRow("uint64 hex") << "HR5:uint64 = 0x0102030405060708" << "R5" << QVector<quint16>{0x0708, 0x0506, 0x0304, 0x0102};
    QTest::newRow("double") << "D0:double = -2.5" << "D0" << QVector<quint16>{0, 0, 0, 0xC004};
    QTest::newRow("int16 on a timer") << "TMR5:int16 = -2" << "RT5" << QVector<quint16>{0xFFFE};
    QTest::newRow("bools in a register") << "D0:bool = 1, 0, on, true" << "D0" << QVector<quint16>{0x000D};
    QTest::newRow("bit list") << "Y3 = 1, 1" << "WY0" << QVector<quint16>{0x0018};
    QTest::newRow("word over X") << "X16:uint16 = 0x8001" << "WX16" << QVector<quint16>{0x8001};
    QTest::newRow("int8 over X, bit by bit") << "X0:int8 = 0x81, 1" << "WX0" << QVector<quint16>{0x0181};
    QTest::newRow("int8 over M, as words") << "M0:int8 = 1, 2" << "WM0" << QVector<quint16>{0x0102};
    QTest::newRow("int32 over C") << "C16:int32 = -1" << "WC16" << QVector<quint16>{0xFFFF, 0xFFFF, 0};
    QTest::newRow("older word name") << "WM0 = 0xFF00" << "WM0" << QVector<quint16>{0xFF00};
    // Values as norvo's command line writes them.
    QTest::newRow("plus sign") << "D100:int16 = +5" << "D100" << QVector<quint16>{5};
    QTest::newRow("infinity") << "D0:float = -infinity" << "D0" << QVector<quint16>{0x0000, 0xFF80};
    QTest::newRow("untyped plus and on") << "D1 = +5\nX16 = on" << "D1" << QVector<quint16>{5};
}

void TestSimCommandLine::typedLinesLoad()
{
    QFETCH(QString, line);
    QFETCH(QString, words);
    QFETCH(QVector<quint16>, expected);

    const SimMemoryFile::Result loaded = SimMemoryFile::parse(line);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    SimMemory memory;
    SimMemoryFile::apply(loaded.assignments, &memory);
    QString error;
    const SimLabel label = SimLabel::parse(words, &error, true);
    QCOMPARE(memory.readRun(label.area, label.element, expected.size()), expected);
    // The dump loads back to the same memory.
    SimMemory again;
    SimMemoryFile::apply(SimMemoryFile::parse(SimMemoryFile::dump(memory)).assignments, &again);
    QCOMPARE(SimMemoryFile::dump(again), SimMemoryFile::dump(memory));
}

void TestSimCommandLine::stationsRoundTrip()
{
    // Labels written as the CLI writes them, each station's lines marked.
    SimMemory first;
    first.setValue(SimArea::R, 8, 0x0008);
    first.setValue(SimArea::RT, 5, 0x0005);
    SimMemory seventh;
    seventh.setValue(SimArea::RC, 12, 0x0012);
    seventh.setBit(SimArea::X, 17, true);
    const QString dump = SimMemoryFile::dump(first, 1) + SimMemoryFile::dump(seventh, 7);
    QCOMPARE(dump, QStringLiteral("@1 HR8 = 0x0008\n@1 TMR5 = 0x0005\n@7 X17 = 1\n@7 CTR12 = 0x0012\n"));

    // A line without a station is the first station's.
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(dump + QStringLiteral("D1 = 1\n"));
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    SimMemory one;
    SimMemory seven;
    SimMemoryFile::apply(loaded.assignments, &one, 1, 1);
    SimMemoryFile::apply(loaded.assignments, &seven, 7, 1);
    first.setValue(SimArea::D, 1, 1);
    QCOMPARE(SimMemoryFile::dump(one), SimMemoryFile::dump(first));
    QCOMPARE(SimMemoryFile::dump(seven), SimMemoryFile::dump(seventh));
}

void TestSimCommandLine::badLinesAreReportedWithTheirNumber()
{
    QFETCH(QString, line);
    QFETCH(QString, saying);

    const QString text = QStringLiteral("# good lines first\nD1 = 1\n\n%1\nD2 = 2\n").arg(line);
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(text, {1, 2});
    QVERIFY(!loaded.ok());
    QCOMPARE(loaded.errorLine, 4);
    QVERIFY2(loaded.error.contains(saying), qPrintable(loaded.error));
    QVERIFY(loaded.assignments.isEmpty());
}

void TestSimCommandLine::dumpLoadsBack()
{
    SimMemory memory;
    QCOMPARE(SimMemoryFile::dump(memory), QString());
    memory.setBit(SimArea::Y, 3, true);
    memory.setValue(SimArea::WT, 16, 0x0101);
    memory.setValue(SimArea::D, 100, 0xABC);
    memory.setValue(SimArea::RC, 9999, 0xFFFF);
    const QString dump = SimMemoryFile::dump(memory);
    QCOMPARE(dump, QStringLiteral("Y3 = 1\nT16 = 1\nT24 = 1\nD100 = 0x0ABC\nCTR9999 = 0xFFFF\n"));

    const SimMemoryFile::Result loaded = SimMemoryFile::parse(dump);
    QVERIFY(loaded.ok());
    SimMemory again;
    SimMemoryFile::apply(loaded.assignments, &again);
    QCOMPARE(SimMemoryFile::dump(again), dump);
}

void TestSimCommandLine::optionsAreRead()
{
    const SimOptionsResult plain = parseSimOptions({"norvo-sim"});
    QVERIFY(plain.error.isEmpty());
    QCOMPARE(plain.options.link, SimOptions::Tcp);
    QCOMPARE(plain.options.address, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(plain.options.port, quint16(0));
    QCOMPARE(plain.options.station, 1);
    QVERIFY(!plain.options.faults.drop.isActive());

    const SimOptionsResult full = parseSimOptions(
            {"norvo-sim", "--tcp", "[::1]:5020", "--station", "255", "--load", "a.txt", "--dump=b.txt",
             "--delay", "20", "--drop-every", "5", "--bad-checksum-chance", "0.25", "--error-every", "7",
             "--error-code", "b", "--split-chance", "1", "--split-pause", "15", "--close-every", "100",
             "--dup-every", "3", "--dup-chance", "0.5", "--dup-pause", "0", "--gateway", "--seed", "4294967295"});
    QVERIFY2(full.error.isEmpty(), qPrintable(full.error));
    const SimOptions &options = full.options;
    QCOMPARE(options.address, QHostAddress(QHostAddress::LocalHostIPv6));
    QCOMPARE(options.port, quint16(5020));
    QCOMPARE(options.station, 255);
    QCOMPARE(options.loadFile, QStringLiteral("a.txt"));
    QCOMPARE(options.dumpFile, QStringLiteral("b.txt"));
    QCOMPARE(options.faults.delayMs, 20);
    QCOMPARE(options.faults.delay.every, 1);     // --delay alone: every answer
    QCOMPARE(options.faults.drop.every, 5);
    QCOMPARE(options.faults.badChecksum.chance, 0.25);
    QCOMPARE(options.faults.error.every, 7);
    QCOMPARE(options.faults.errorCode, 'B');
    QCOMPARE(options.faults.split.chance, 1.0);
    QCOMPARE(options.faults.splitPauseMs, 15);
    QCOMPARE(options.faults.close.every, 100);
    QCOMPARE(options.faults.dup.every, 3);
    QCOMPARE(options.faults.dup.chance, 0.5);
    QCOMPARE(options.faults.dupPauseMs, 0);
    QVERIFY(options.gateway);
    QVERIFY(!plain.options.gateway);
    QCOMPARE(plain.options.faults.dupPauseMs, 30);
    QCOMPARE(options.faults.seed, quint32(4294967295u));

    const SimOptionsResult delayed = parseSimOptions({"norvo-sim", "--delay", "50", "--delay-every", "3"});
    QCOMPARE(delayed.options.faults.delay.every, 3);

    const SimOptionsResult serial = parseSimOptions({"norvo-sim", "--serial", "/dev/ttyUSB0,2400,7,2,even"});
    QVERIFY2(serial.error.isEmpty(), qPrintable(serial.error));
    QCOMPARE(serial.options.link, SimOptions::Serial);
    QCOMPARE(serial.options.serial.device, QStringLiteral("/dev/ttyUSB0"));
    QCOMPARE(serial.options.serial.baudRate, 2400);
    QCOMPARE(serial.options.serial.dataBits, 7);
    QCOMPARE(serial.options.serial.stopBits, 2);
    QCOMPARE(serial.options.serial.parity, 'E');

    QCOMPARE(parseSimOptions({"norvo-sim", "--pty"}).options.link, SimOptions::Pty);

    const SimOptionsResult bench = parseSimOptions({"norvo-sim", "--pty", "19200,7,2,E", "--pty-link", "/tmp/plc",
                                                    "--station", "1,2,7", "--http", ":0", "--log"});
    QVERIFY2(bench.error.isEmpty(), qPrintable(bench.error));
    QCOMPARE(bench.options.link, SimOptions::Pty);
    QVERIFY(bench.options.ptySettingsGiven);
    QCOMPARE(bench.options.ptySettings.baudRate, 19200);
    QCOMPARE(bench.options.ptySettings.dataBits, 7);
    QCOMPARE(bench.options.ptySettings.stopBits, 2);
    QCOMPARE(bench.options.ptySettings.parity, 'E');
    QCOMPARE(bench.options.ptyLink, QStringLiteral("/tmp/plc"));
    QCOMPARE(bench.options.stations, (QList<int>{1, 2, 7}));
    QCOMPARE(bench.options.station, 1);
    QVERIFY(bench.options.http);
    QCOMPARE(bench.options.httpAddress, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(bench.options.httpPort, quint16(0));
    QVERIFY(bench.options.log);
    const SimOptionsResult equals = parseSimOptions({"norvo-sim", "--pty=9600,8,1,N", "--http", "8080"});
    QVERIFY2(equals.error.isEmpty(), qPrintable(equals.error));
    QCOMPARE(equals.options.ptySettings.baudRate, 9600);
    QCOMPARE(equals.options.httpAddress, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(equals.options.httpPort, quint16(8080));
    QVERIFY(parseSimOptions({"norvo-sim", "--help"}).help);
    QVERIFY(parseSimOptions({"norvo-sim", "-h"}).help);
}

void TestSimCommandLine::tcpAddressesAreRead_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("port");

    // The host may be left out, as for --http: loopback then.
    QTest::newRow("bare port") << QStringList{"--tcp", "42063"} << "127.0.0.1" << 42063;
    QTest::newRow("colon and port") << QStringList{"--tcp", ":0"} << "127.0.0.1" << 0;
    QTest::newRow("host and port") << QStringList{"--tcp=127.0.0.2:500"} << "127.0.0.2" << 500;
    QTest::newRow("localhost") << QStringList{"-tcp", "localhost:7"} << "127.0.0.1" << 7;
}

void TestSimCommandLine::tcpAddressesAreRead()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, address);
    QFETCH(int, port);

    const SimOptionsResult result = parseSimOptions(QStringList{"norvo-sim"} + arguments);
    QVERIFY2(result.error.isEmpty(), qPrintable(result.error));
    QCOMPARE(result.options.link, SimOptions::Tcp);
    QCOMPARE(result.options.address, QHostAddress(address));
    QCOMPARE(result.options.port, quint16(port));
}

void TestSimCommandLine::dumpKeepsTheFilesMeaning_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("dump");

    QTest::newRow("float") << "D300:float = 3.25" << "D300:float = 3.25\n";
    QTest::newRow("list of int32") << "D200:int32 = 100000, -1" << "D200:int32 = 100000, -1\n";
    QTest::newRow("int8 pair") << "D0:int8 = -1, 2" << "D0:int8 = -1, 2\n";
    QTest::newRow("bits over M as a word") << "M16:uint16 = 0x8001" << "M16:uint16 = 32769\n";
    // A later untyped line changes the value, not what it means.
    QTest::newRow("word written under a type") << "D10:int32 = 1\nD11 = 5" << "D10:int32 = 327681\n";
    // A later typed line takes the storage over; what is left is raw.
    QTest::newRow("type over a type") << "D10:int32 = 1\nD11:int16 = 5" << "D11:int16 = 5\nD10 = 0x0001\n";
    // Text cannot carry a NaN's payload: the raw word puts it back.
    QTest::newRow("nan with payload") << "D0:float = 0x7FC00001" << "D0:float = nan\nD0 = 0x0001\n";
    QTest::newRow("stations") << "@2 D4:double = -0.5" << "@2 D4:double = -0.5\n";
}

void TestSimCommandLine::dumpKeepsTheFilesMeaning()
{
    QFETCH(QString, file);
    QFETCH(QString, dump);

    const SimMemoryFile::Result loaded = SimMemoryFile::parse(file);
    QVERIFY2(loaded.ok(), qPrintable(loaded.error));
    const int station = loaded.assignments.first().station;
    SimMemory memory;
    SimMemoryFile::apply(loaded.assignments, &memory);
    QCOMPARE(SimMemoryFile::dump(memory, station), dump);

    // Load, dump and load again: the same words and the same lines.
    SimMemory again;
    SimMemoryFile::apply(SimMemoryFile::parse(dump).assignments, &again);
    QCOMPARE(SimMemoryFile::dump(again, station), dump);
    for (const SimArea area : {SimArea::D, SimArea::M})
        QCOMPARE(again.readRun(area, 0, 400), memory.readRun(area, 0, 400));
}

void TestSimCommandLine::badOptionsAreRefused_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("saying");

    // A misspelt fault flag must not run a simulator without the fault.
    QTest::newRow("misspelt fault") << QStringList{"--drop-evry", "3"} << "drop-evry";
    QTest::newRow("stray argument") << QStringList{"--pty", "now"} << "\"now\"";
    QTest::newRow("two links") << QStringList{"--pty", "--tcp", "127.0.0.1:0"} << "one link";
    QTest::newRow("missing value") << QStringList{"--station"} << "station";
    QTest::newRow("tcp without port") << QStringList{"--tcp", "127.0.0.1"} << "HOST:PORT";
    QTest::newRow("tcp port too large") << QStringList{"--tcp", "127.0.0.1:65536"} << "HOST:PORT";
    QTest::newRow("tcp host name") << QStringList{"--tcp", "plc.example:1"} << "HOST:PORT";
    QTest::newRow("tcp bare port too large") << QStringList{"--tcp", "65536"} << "HOST:PORT";
    QTest::newRow("tcp colon without port") << QStringList{"--tcp", "127.0.0.1:"} << "HOST:PORT";
    QTest::newRow("tcp empty") << QStringList{"--tcp="} << "HOST:PORT";
    QTest::newRow("serial short") << QStringList{"--serial", "/dev/ttyS0,9600"} << "DEVICE,BAUD";
    QTest::newRow("serial parity") << QStringList{"--serial", "/dev/ttyS0,9600,8,1,X"} << "parity";
    QTest::newRow("serial bits") << QStringList{"--serial", "/dev/ttyS0,9600,9,1,N"} << "data bits";
    QTest::newRow("serial baud") << QStringList{"--serial", "/dev/ttyS0,fast,8,1,N"} << "baud";
    QTest::newRow("station too large") << QStringList{"--station", "256"} << "0 to 255";
    QTest::newRow("station not a number") << QStringList{"--station", "one"} << "0 to 255";
    QTest::newRow("every zero") << QStringList{"--drop-every", "0"} << "--drop-every";
    QTest::newRow("chance above 1") << QStringList{"--split-chance", "1.5"} << "--split-chance";
    QTest::newRow("chance not a number") << QStringList{"--close-chance", "nan"} << "--close-chance";
    QTest::newRow("negative delay") << QStringList{"--delay", "-5"} << "--delay";
    QTest::newRow("delay rule without delay") << QStringList{"--delay-every", "2"} << "need --delay";
    QTest::newRow("error code 0") << QStringList{"--error-code", "0"} << "--error-code";
    QTest::newRow("error code long") << QStringList{"--error-code", "12"} << "--error-code";
    QTest::newRow("empty load") << QStringList{"--load", ""} << "--load";
    QTest::newRow("seed too large") << QStringList{"--seed", "4294967296"} << "--seed";
    QTest::newRow("station twice") << QStringList{"--station", "1,2,1"} << "twice";
    QTest::newRow("station list gap") << QStringList{"--station", "1,,2"} << "0 to 255";
    QTest::newRow("pty settings") << QStringList{"--pty", "9600,9,1,N"} << "BAUD,BITS,STOP,PARITY";
    QTest::newRow("pty rate the driver never sets") << QStringList{"--pty", "9601,8,1,N"} << "BAUD one of 1200,";
    QTest::newRow("pty link without pty") << QStringList{"--pty-link", "/tmp/plc"} << "--pty";
    QTest::newRow("http host name") << QStringList{"--http", "plc.example:80"} << "--http";
    QTest::newRow("http port too large") << QStringList{"--http", "70000"} << "--http";
    QTest::newRow("unknown option") << QStringList{"--web"} << "web";
    QTest::newRow("gateway on a pty") << QStringList{"--pty", "--gateway"} << "--gateway";
    QTest::newRow("gateway on a serial line") << QStringList{"--gateway", "--serial", "/dev/ttyS0,9600,8,1,N"} << "--gateway";
    QTest::newRow("gateway with a value") << QStringList{"--gateway=1"} << "gateway";
    QTest::newRow("dup every zero") << QStringList{"--dup-every", "0"} << "--dup-every";
    QTest::newRow("dup chance above 1") << QStringList{"--dup-chance", "1.01"} << "--dup-chance";
    QTest::newRow("dup pause negative") << QStringList{"--dup-pause", "-1"} << "--dup-pause";
    QTest::newRow("dup pause not a number") << QStringList{"--dup-pause", "soon"} << "--dup-pause";
}

void TestSimCommandLine::badOptionsAreRefused()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, saying);

    const SimOptionsResult result = parseSimOptions(QStringList{"norvo-sim"} + arguments);
    QVERIFY2(result.error.contains(saying), qPrintable(result.error));
}

QTEST_GUILESS_MAIN(TestSimCommandLine)
#include "tst_simcommandline.moc"
