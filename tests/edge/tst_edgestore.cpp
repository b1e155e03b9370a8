// SPDX-License-Identifier: LGPL-2.1-or-later
// The store-and-forward buffer: order, its bound, and what comes back after
// a restart, a crash mid-write or a damaged file.

#include "TestTable.h"
#include "samplestore.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

namespace {

SampleStore::Message message(int n)
{
    return {QStringLiteral("plant/line1/t%1").arg(n), QByteArray::number(n), n % 2 == 0};
}

// The payloads of the messages waiting to be sent, in order; "bad" for
// one whose topic or flag is not its own.
QStringList waiting(const SampleStore &store)
{
    QStringList payloads;
    for (const SampleStore::Entry &entry : store.peek(1000000)) {
        const SampleStore::Message expected = message(entry.message.payload.toInt());
        const bool whole = entry.message.topic == expected.topic && entry.message.retained == expected.retained;
        payloads << (whole ? QString::fromLatin1(entry.message.payload) : QStringLiteral("bad"));
    }
    return payloads;
}

QStringList numbers(int from, int to)
{
    QStringList list;
    for (int n = from; n <= to; ++n)
        list << QString::number(n);
    return list;
}

// Appends 1..n and sends and confirms the first `confirmed`.
void fill(SampleStore *store, int n, int confirmed)
{
    for (int i = 1; i <= n; ++i)
        store->append(message(i));
    for (const SampleStore::Entry &entry : store->peek(confirmed)) {
        QVERIFY(store->markSent(entry.id));
        QVERIFY(store->confirm(entry.id));
    }
}

QString storePath(const QTemporaryDir &dir)
{
    return dir.filePath(QLatin1String(Store::File::name()));
}

} // namespace

class TestEdgeStore : public QObject
{
    Q_OBJECT

private slots:
    void orderAndDelivery_data();
    void orderAndDelivery();
    void boundDropsTheOldest_data();
    void boundDropsTheOldest();
    void restartKeepsWhatIsUnconfirmed();
    void crashMidWrite_data();
    void crashMidWrite();
    void damagedFileIsSetAside_data();
    void damagedFileIsSetAside();
    void compactionKeepsOrder();
    void unusableFolder();
};

void TestEdgeStore::orderAndDelivery_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::newRow("memory") << false;
    QTest::newRow("folder") << true;
}

void TestEdgeStore::orderAndDelivery()
{
    QFETCH(bool, onDisk);
    QTemporaryDir dir;
    SampleStore store(onDisk ? dir.path() : QString());
    QCOMPARE(store.onDisk(), onDisk);
    QList<quint64> ids;
    for (int i = 1; i <= 5; ++i)
        ids << store.append(message(i));
    QCOMPARE(waiting(store), numbers(1, 5));

    // 1..3 in flight: only 4 and 5 wait; confirmations that overtake wait.
    for (int i = 0; i < 3; ++i)
        QVERIFY(store.markSent(ids[i]));
    QVERIFY(!store.markSent(ids[0]));
    QCOMPARE(waiting(store), numbers(4, 5));
    QVERIFY(store.confirm(ids[1]));
    QVERIFY(!store.confirm(ids[1]));
    QCOMPARE(store.size(), 5);
    QVERIFY(store.confirm(ids[0]));
    QCOMPARE(store.size(), 3);
    QVERIFY(!store.confirm(ids[4])); // never sent

    // A disconnect: 3 goes again, before 4 and 5; a confirmed one does not.
    store.requeueUnconfirmed();
    QCOMPARE(waiting(store), numbers(3, 5));
    QVERIFY(store.markSent(ids[2]));
    QVERIFY(store.confirm(ids[2]));
    QCOMPARE(waiting(store), numbers(4, 5));
    QCOMPARE(store.peek(1).first().id, ids[3]);
    QCOMPARE(store.dropped(), quint64(0));
    QCOMPARE(store.takeProblems(), QStringList());
}

void TestEdgeStore::boundDropsTheOldest_data()
{
    QTest::addColumn<bool>("onDisk");
    QTest::newRow("memory") << false;
    QTest::newRow("folder") << true;
}

void TestEdgeStore::boundDropsTheOldest()
{
    QFETCH(bool, onDisk);
    QTemporaryDir dir;
    {
        SampleStore store(onDisk ? dir.path() : QString(), 3);
        const quint64 first = store.append(message(1));
        QVERIFY(store.markSent(first));
        for (int i = 2; i <= 5; ++i)
            store.append(message(i));
        QCOMPARE(store.size(), 3);
        QCOMPARE(store.dropped(), quint64(2));
        QCOMPARE(waiting(store), numbers(3, 5));
        QVERIFY(!store.confirm(first)); // dropped while in flight
    }
    if (onDisk) {
        SampleStore again(dir.path(), 3);
        QCOMPARE(waiting(again), numbers(3, 5));
        QCOMPARE(again.dropped(), quint64(0));
        // A smaller bound after the restart.
    }
    if (onDisk) {
        SampleStore smaller(dir.path(), 2);
        QCOMPARE(waiting(smaller), numbers(4, 5));
        QCOMPARE(smaller.dropped(), quint64(1));
    }
}

void TestEdgeStore::restartKeepsWhatIsUnconfirmed()
{
    QTemporaryDir dir;
    quint64 last = 0;
    {
        SampleStore store(dir.path());
        fill(&store, 6, 2);
        const QList<SampleStore::Entry> sent = store.peek(2); // 3, 4 in flight, never confirmed
        for (const SampleStore::Entry &entry : sent)
            QVERIFY(store.markSent(entry.id));
        last = store.peek(10).last().id;
    }
    SampleStore store(dir.path());
    QCOMPARE(waiting(store), numbers(3, 6));
    QVERIFY(store.append(message(7)) > last); // ids are never reused
    fill(&store, 0, 2);
    SampleStore third(dir.path());
    QCOMPARE(waiting(third), numbers(5, 7));
    QCOMPARE(third.takeProblems(), QStringList());
}

void TestEdgeStore::crashMidWrite_data()
{
    // What is left of the file's end: bytes cut off, or zeros added.
    addColumns<int, int, QStringList>("cut", "zeros", "kept");
    QTest::newRow("checksum half written") << 1 << 0 << numbers(1, 4);
    QTest::newRow("body half written") << 20 << 0 << numbers(1, 4);
    QTest::newRow("length only") << 50 << 0 << numbers(1, 4);
    QTest::newRow("length of the next") << 0 << 0 << numbers(1, 5);
    QTest::newRow("zeros after the last write") << 0 << 300 << numbers(1, 5);
}

void TestEdgeStore::crashMidWrite()
{
    QFETCH(int, cut);
    QFETCH(int, zeros);
    QFETCH(QStringList, kept);
    QTemporaryDir dir;
    {
        SampleStore store(dir.path());
        fill(&store, 5, 0);
    }
    QFile file(storePath(dir));
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(file.size() - cut));
    file.seek(file.size());
    file.write(QByteArray(zeros, '\0'));
    if (QByteArray(QTest::currentDataTag()) == "length of the next")
        file.write(QByteArray("\0\0\0\x30", 4));
    file.close();

    {
        SampleStore store(dir.path());
        QCOMPARE(waiting(store), kept);
        const QStringList problems = store.takeProblems();
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().contains(QLatin1String("unfinished last record")), qPrintable(problems.first()));
        store.append(message(9));
    }
    SampleStore again(dir.path()); // the torn bytes are gone, not before the new message
    QCOMPARE(waiting(again), kept + QStringList{"9"});
    QCOMPARE(again.takeProblems(), QStringList());
}

void TestEdgeStore::damagedFileIsSetAside_data()
{
    // Where a byte is changed, from the end of the file; the messages kept.
    addColumns<int, QStringList>("fromEnd", "kept");
    QTest::newRow("the second of three records") << -1 << numbers(1, 1);
    QTest::newRow("no store file") << 0 << QStringList();
}

void TestEdgeStore::damagedFileIsSetAside()
{
    QFETCH(int, fromEnd);
    QFETCH(QStringList, kept);
    QTemporaryDir dir;
    qint64 recordSize = 0;
    {
        SampleStore store(dir.path());
        store.append(message(1));
        const qint64 one = QFileInfo(storePath(dir)).size();
        store.append(message(2));
        recordSize = QFileInfo(storePath(dir)).size() - one;
        store.append(message(3));
    }
    QFile file(storePath(dir));
    QVERIFY(file.open(QIODevice::ReadWrite));
    if (fromEnd < 0) {
        file.seek(file.size() - recordSize - 3); // in the payload of 2
        file.write("X");
    } else {
        QVERIFY(file.resize(0));
        file.write("name,label,type\n");
    }
    file.close();

    SampleStore store(dir.path());
    QCOMPARE(waiting(store), kept);
    const QStringList problems = store.takeProblems();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().contains(QLatin1String("is damaged")), qPrintable(problems.first()));
    const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("samples.store.damaged-*")});
    QCOMPARE(aside.size(), 1);
    QVERIFY(store.onDisk());
    store.append(message(4));
    SampleStore again(dir.path());
    QCOMPARE(waiting(again), kept + QStringList{"4"});
}

void TestEdgeStore::compactionKeepsOrder()
{
    QTemporaryDir dir;
    qint64 full = 0;
    {
        SampleStore store(dir.path());
        store.setCompactAfter(20);
        fill(&store, 100, 0);
        full = QFileInfo(storePath(dir)).size();
        fill(&store, 0, 90);
        QVERIFY(QFileInfo(storePath(dir)).size() < full / 2);
        QCOMPARE(waiting(store), numbers(91, 100));
        store.append(message(101));
    }
    SampleStore store(dir.path());
    QCOMPARE(waiting(store), numbers(91, 101));
    fill(&store, 0, 11);
    store.compact();
    QCOMPARE(QFileInfo(storePath(dir)).size(), qint64(QByteArray("norvo-edge store 1\n").size()));
    QCOMPARE(SampleStore(dir.path()).size(), 0);
}

void TestEdgeStore::unusableFolder()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("state")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SampleStore store(blocker.fileName());
    QVERIFY(!store.onDisk());
    QCOMPARE(store.takeProblems().size(), 1);
    store.append(message(1));
    QCOMPARE(waiting(store), numbers(1, 1));
}

QTEST_GUILESS_MAIN(TestEdgeStore)
#include "tst_edgestore.moc"
