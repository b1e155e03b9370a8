// SPDX-License-Identifier: LGPL-2.1-or-later
// The store-and-forward buffer: order, its bound, and what comes back after
// a restart, a crash mid-write or a damaged file.

#include "TestTable.h"
#include "samplestore.h"

#include <QtCore/QDataStream>
#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <limits>

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

// A whole message record as the store frames it: length, body, checksum.
QByteArray messageRecord(quint64 id)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_11);
    out << quint8(1) << id << false << QStringLiteral("t") << QByteArrayLiteral("x");
    QByteArray record;
    QDataStream framed(&record, QIODevice::WriteOnly);
    framed << quint32(body.size());
    framed.writeRawData(body.constData(), body.size());
    framed << qChecksum(body.constData(), uint(body.size()));
    return record;
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

// The same behaviour in memory and in a folder.
void inMemoryAndOnDisk()
{
    QTest::addColumn<bool>("onDisk");
    QTest::newRow("memory") << false;
    QTest::newRow("folder") << true;
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
    void changedFile_data();
    void changedFile();
    void compactionKeepsOrder();
    void unusableFolder_data();
    void unusableFolder();
};

void TestEdgeStore::orderAndDelivery_data()
{
    inMemoryAndOnDisk();
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
    inMemoryAndOnDisk();
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
    }
    if (onDisk) { // a smaller bound after a restart
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
    {
        SampleStore store(dir.path());
        QCOMPARE(waiting(store), numbers(3, 6));
        QVERIFY(store.append(message(7)) > last); // no id is given twice
        fill(&store, 0, 2);
    }
    SampleStore third(dir.path());
    QCOMPARE(waiting(third), numbers(5, 7));
    QCOMPARE(third.takeProblems(), QStringList());
}

void TestEdgeStore::changedFile_data()
{
    // The file of messages 1..5 (records of one size) with bytes cut from
    // its end, bytes added, or a byte changed in the fourth record.
    addColumns<int, QByteArray, bool, QString, QStringList>("cut", "added", "changeFourth", "problem", "kept");
    const QString unfinished = QStringLiteral("unfinished last record");
    QTest::newRow("checksum half written") << 1 << QByteArray() << false << unfinished << numbers(1, 4);
    QTest::newRow("body half written") << 20 << QByteArray() << false << unfinished << numbers(1, 4);
    QTest::newRow("length only") << 50 << QByteArray() << false << unfinished << numbers(1, 4);
    QTest::newRow("length of a sixth") << 0 << QByteArray("\0\0\0\x30", 4) << false << unfinished << numbers(1, 5);
    QTest::newRow("zeros after the last write") << 0 << QByteArray(300, '\0') << false << unfinished << numbers(1, 5);
    const QString damaged = QStringLiteral("is damaged");
    QTest::newRow("a record fails its checksum") << 0 << QByteArray() << true << damaged << numbers(1, 3);
    // No id would be left for the next message.
    QTest::newRow("a message with the last id") << 0 << messageRecord(std::numeric_limits<quint64>::max()) << false
                                                << damaged << numbers(1, 5);
    QTest::newRow("no store file") << 100000 << QByteArray("name,label,type\n") << false << damaged << QStringList();
}

void TestEdgeStore::changedFile()
{
    QFETCH(int, cut);
    QFETCH(QByteArray, added);
    QFETCH(bool, changeFourth);
    QFETCH(QString, problem);
    QFETCH(QStringList, kept);
    QTemporaryDir dir;
    qint64 header = 0;
    {
        SampleStore store(dir.path());
        header = QFileInfo(storePath(dir)).size();
        fill(&store, 5, 0);
    }
    QFile file(storePath(dir));
    QVERIFY(file.open(QIODevice::ReadWrite));
    const qint64 record = (file.size() - header) / 5;
    if (changeFourth) {
        file.seek(file.size() - record - 3); // a byte of its payload
        file.write("X");
    }
    QVERIFY(file.resize(qMax(qint64(0), file.size() - cut)));
    file.seek(file.size());
    file.write(added);
    file.close();

    {
        SampleStore store(dir.path());
        QCOMPARE(waiting(store), kept);
        const QStringList problems = store.takeProblems();
        QCOMPARE(problems.size(), 1);
        QVERIFY2(problems.first().contains(problem), qPrintable(problems.first()));
        const QStringList aside = QDir(dir.path()).entryList({QStringLiteral("samples.store.damaged-*")});
        QCOMPARE(aside.size(), problem == QLatin1String("is damaged") ? 1 : 0);
        store.append(message(9));
    }
    SampleStore again(dir.path()); // nothing of the old damage is left before the new message
    QCOMPARE(waiting(again), kept + QStringList{"9"});
    QCOMPARE(again.takeProblems(), QStringList());
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
    {
        SampleStore store(dir.path());
        QCOMPARE(waiting(store), numbers(91, 101));
        fill(&store, 0, 11);
        store.compact();
        QCOMPARE(QFileInfo(storePath(dir)).size(), qint64(QByteArray("norvo-edge store 1\n").size()));
    }
    QCOMPARE(SampleStore(dir.path()).size(), 0);
}

void TestEdgeStore::unusableFolder_data()
{
    addColumns<bool, QString>("fileInTheWay", "problem");
    QTest::newRow("a file in the way") << true << "cannot create the state folder";
    QTest::newRow("another store has it") << false << "in use by another store";
}

void TestEdgeStore::unusableFolder()
{
    QFETCH(bool, fileInTheWay);
    QFETCH(QString, problem);
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("state"));
    QFile blocker(folder);
    QVERIFY(!fileInTheWay || blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SampleStore first(fileInTheWay ? QString() : folder);
    first.append(message(1));

    SampleStore store(folder);
    QVERIFY(!store.onDisk());
    const QStringList problems = store.takeProblems();
    QCOMPARE(problems.size(), 1);
    QVERIFY2(problems.first().contains(problem), qPrintable(problems.first()));
    store.append(message(2));
    QCOMPARE(waiting(store), QStringList{"2"});
    QCOMPARE(waiting(first), QStringList{"1"});
}

QTEST_GUILESS_MAIN(TestEdgeStore)
#include "tst_edgestore.moc"
