// SPDX-License-Identifier: LGPL-2.1-or-later
// Replays every committed fuzz corpus entry, the regression inputs of past
// findings among them, through the fuzz target functions and their checks.
// A broken check aborts the program, naming the rule and the input.

#include "FuzzTargets.h"

#include <QtCore/QDir>
#include <QtTest/QtTest>

namespace {

using Target = void (*)(const uint8_t *, size_t);

struct Corpus
{
    const char *name;
    Target target;
};

const Corpus corpora[] = {
    { "answers", NorvoFuzz::answers },
    { "labels", NorvoFuzz::labels },
    { "connection", NorvoFuzz::connectionStrings },
    { "records", NorvoFuzz::records },
    { "owed", NorvoFuzz::owedAnswers },
    { "edgetags", NorvoFuzz::edgeTags },
    { "edgewrites", NorvoFuzz::edgeWrites },
    { "sparkplugcommands", NorvoFuzz::sparkplugCommands },
    { "edgestore", NorvoFuzz::edgeStore },
};

} // namespace

class TestFuzzCorpus : public QObject
{
    Q_OBJECT
private slots:
    void replay_data();
    void replay();
};

void TestFuzzCorpus::replay_data()
{
    QTest::addColumn<int>("corpus");
    QTest::addColumn<QString>("path");
    for (int c = 0; c < int(std::size(corpora)); ++c) {
        const QDir dir(QStringLiteral(NORVO_FUZZ_CORPUS "/") + corpora[c].name);
        const QStringList files = dir.entryList(QDir::Files, QDir::Name);
        QVERIFY2(!files.isEmpty(), qPrintable("no seeds in " + dir.path()));
        for (const QString &file : files)
            QTest::newRow(qPrintable(QStringLiteral("%1/%2").arg(corpora[c].name, file)))
                << c << dir.filePath(file);
    }
}

void TestFuzzCorpus::replay()
{
    QFETCH(int, corpus);
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    const QByteArray name = path.toLocal8Bit();
    NorvoFuzz::currentInput = name.constData();
    corpora[corpus].target(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size()));
    NorvoFuzz::currentInput = nullptr;
}

QTEST_GUILESS_MAIN(TestFuzzCorpus)
#include "tst_fuzzcorpus.moc"
