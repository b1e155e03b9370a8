// What a user types: the memory file with its line numbers, the dump that
// loads back, and the command line of norvo-sim.

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
    void optionsAreRead();
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
    QTest::newRow("bit not 0 or 1") << "X1 = 2" << "0 or 1";
    QTest::newRow("register too large") << "D1 = 65536" << "-32768..65535";
    QTest::newRow("register too small") << "D1 = -32769" << "-32768..65535";
    QTest::newRow("value not a number") << "D1 = twelve" << "no number";
    QTest::newRow("hex without digits") << "D1 = 0x" << "no number";
    QTest::newRow("sign twice") << "D1 = --5" << "no number";
    QTest::newRow("empty value") << "D1 =" << "no number";
}

void TestSimCommandLine::badLinesAreReportedWithTheirNumber()
{
    QFETCH(QString, line);
    QFETCH(QString, saying);

    const QString text = QStringLiteral("# good lines first\nD1 = 1\n\n%1\nD2 = 2\n").arg(line);
    const SimMemoryFile::Result loaded = SimMemoryFile::parse(text);
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
    QCOMPARE(dump, QStringLiteral("Y3 = 1\nT16 = 1\nT24 = 1\nD100 = 0x0ABC\nRC9999 = 0xFFFF\n"));

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
             "--seed", "4294967295"});
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
    QVERIFY(parseSimOptions({"norvo-sim", "--help"}).help);
    QVERIFY(parseSimOptions({"norvo-sim", "-h"}).help);
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
