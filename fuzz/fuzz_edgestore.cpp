// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary bytes as the files norvo-edge reads from its state folder at
// start: the store of messages not yet confirmed, the tags' seq numbers and
// the Sparkplug bdSeq. Whatever the bytes, the store opens, sets a damaged
// file aside whole, keeps its messages in ascending order and leaves a clean
// file that opens again to the same messages; numbers read are in range.
#include "FuzzTargets.h"

#include "Sparkplug.h"
#include "samplestore.h"
#include "sequencefile.h"

#include <QtCore/QDir>
#include <QtCore/QTemporaryDir>

#include <climits>

namespace NorvoFuzz {

namespace {

bool sameEntries(const QList<Store::Entry> &a, const QList<Store::Entry> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        if (a.at(i).id != b.at(i).id || a.at(i).message.topic != b.at(i).message.topic
            || a.at(i).message.payload != b.at(i).message.payload
            || a.at(i).message.retained != b.at(i).message.retained)
            return false;
    }
    return true;
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

void store(const QString &folder, const QByteArray &bytes)
{
    const QString path = QDir(folder).filePath(QLatin1String(Store::File::name()));
    FUZZ_CHECK(writeFile(path, bytes));

    QList<Store::Entry> kept;
    {
        SampleStore opened(folder);
        FUZZ_CHECK(opened.onDisk());
        const QStringList problems = opened.takeProblems();
        kept = opened.peek(INT_MAX);
        FUZZ_CHECK(opened.size() == kept.size());
        for (int i = 1; i < kept.size(); ++i)
            FUZZ_CHECK(kept.at(i - 1).id < kept.at(i).id);

        // A damaged file is kept as it was, for a look.
        const QStringList aside = QDir(folder).entryList({QStringLiteral("*.damaged-*")}, QDir::Files);
        const bool damaged = problems.join(QLatin1Char('\n')).contains(QLatin1String(" is damaged "));
        FUZZ_CHECK(aside.size() == (damaged ? 1 : 0));
        if (damaged) {
            QFile file(QDir(folder).filePath(aside.first()));
            FUZZ_CHECK(file.open(QIODevice::ReadOnly) && file.readAll() == bytes);
        }
    }

    // The file left behind is clean and holds the same messages.
    SampleStore reopened(folder);
    FUZZ_CHECK(reopened.onDisk());
    FUZZ_CHECK(reopened.takeProblems().isEmpty());
    FUZZ_CHECK(sameEntries(reopened.peek(INT_MAX), kept));
    // A new message comes after every kept one.
    const quint64 id = reopened.append({QStringLiteral("t"), QByteArrayLiteral("p"), false});
    FUZZ_CHECK(kept.isEmpty() || id > kept.last().id);
}

void sequences(const QByteArray &bytes)
{
    const QHash<QString, qint64> read = SequenceFile::parse(bytes);
    for (auto it = read.begin(); it != read.end(); ++it)
        FUZZ_CHECK(it.value() >= 0 && it.value() <= (qint64(1) << 53));
    FUZZ_CHECK(SequenceFile::parse(SequenceFile::serialized(read)) == read);
}

void birthDeath(const QString &folder, const QByteArray &bytes)
{
    const QString path = QDir(folder).filePath(QStringLiteral("bdseq"));
    FUZZ_CHECK(writeFile(path, bytes));
    const quint64 bdSeq = Sparkplug::loadBirthDeath(path);
    FUZZ_CHECK(bdSeq <= 255);
    QString error;
    FUZZ_CHECK(Sparkplug::saveBirthDeath(path, bdSeq, &error));
    FUZZ_CHECK(Sparkplug::loadBirthDeath(path) == bdSeq);
}

} // namespace

void edgeStore(const uint8_t *data, size_t size)
{
    static QTemporaryDir base;
    FUZZ_CHECK(base.isValid());
    const QString folder = base.filePath(QStringLiteral("state"));
    QDir(folder).removeRecursively();
    FUZZ_CHECK(QDir().mkpath(folder));

    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    store(folder, bytes);
    sequences(bytes);
    birthDeath(folder, bytes);
}

} // namespace NorvoFuzz
