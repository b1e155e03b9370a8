// SPDX-License-Identifier: LGPL-2.1-or-later
// The grammar norvo and norvo-sim share: which words are options, which are
// their values and which stay words, in order; and what is refused.

#include "CommandLine.h"
#include "TestTable.h"

#include <QtCore/QHash>
#include <QtTest/QtTest>

namespace {

const std::vector<CommandLine::Option> options = {
    {"f,flag"}, {"count", "N"}, {"line", "BAUD,BITS", "[0-9]+,[0-9]+"}};

// "name=value name | words", after the first error if any: "unknown --x (x): ...".
QString parsed(const QString &line)
{
    QCommandLineParser parser;
    const CommandLine::Error error =
        CommandLine::parse(options, line.split(QLatin1Char(' '), Qt::SkipEmptyParts), &parser);
    static const char *const kinds[] = {"", "unknown", "missing", "unexpected"};
    QStringList given;
    if (error.kind != CommandLine::Error::None)
        given << QStringLiteral("%1 %2 (%3):").arg(QLatin1String(kinds[error.kind]), error.option, error.name);
    QHash<QString, int> seen;
    for (const QString &name : parser.optionNames()) {
        const QStringList values = parser.values(name);
        given << (values.isEmpty() ? name : name + QLatin1Char('=') + values.at(seen[name]++));
    }
    return (given + QStringList{QStringLiteral("|")} + parser.positionalArguments()).join(QLatin1Char(' '));
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void arguments_data();
    void arguments();
};

void TestCommandLine::arguments_data()
{
    addColumns<QString, QString>("line", "read");

    QTest::newRow("negative numbers and float words are words, in place")
        << "a -5 --flag -inf b -.5 -NaN -infinity" << "flag | a -5 -inf b -.5 -NaN -infinity";
    QTest::newRow("a value may look like an option") << "--count -5 x --count --flag" << "count=-5 count=--flag | x";
    QTest::newRow("inline value") << "--count=7 x --count=" << "count=7 count= | x";
    QTest::newRow("single dash word") << "-count 3 -f -flag" << "count=3 f flag |";
    QTest::newRow("words after --") << "x -- --flag -z --" << "| x --flag -z --";
    QTest::newRow("-- as a value") << "--count -- y" << "count=-- | y";
    QTest::newRow("a dash alone is a word") << "- x" << "| - x";
    QTest::newRow("optional value that matches") << "--line 9600,8 x" << "line=9600,8 | x";
    QTest::newRow("optional value that does not") << "--line x" << "line= | x";
    QTest::newRow("optional value inline") << "-line=1,2" << "line=1,2 |";
    QTest::newRow("optional value at the end") << "x --line" << "line= | x";

    // The first problem is told; the rest of the line is still read.
    QTest::newRow("unknown option") << "a --x 5 -f" << "unknown --x (x): f | a 5";
    QTest::newRow("unknown single dash option") << "-x=1" << "unknown -x (x): |";
    QTest::newRow("three dashes") << "---flag" << "unknown ---flag (-flag): |";
    QTest::newRow("flag with a value") << "--flag=1 --count 2" << "unexpected --flag (flag): flag count=2 |";
    QTest::newRow("flag with an empty value") << "-f=" << "unexpected -f (f): f |";
    QTest::newRow("value missing") << "a -f --count" << "missing --count (count): f | a";
    QTest::newRow("the first problem is told") << "--x --flag=1 --count" << "unknown --x (x): flag |";
}

void TestCommandLine::arguments()
{
    QFETCH(QString, line);
    QFETCH(QString, read);
    QCOMPARE(parsed(line), read);
}

QTEST_APPLESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
