// SPDX-License-Identifier: LGPL-2.1-or-later
// Answers owed by requests that timed out, over loopback TCP and a pty: a
// late answer never passes for a later request's answer, and the link
// recovers with at most one extra request.
#include "AreaType.h"
#include "CmdNorvo_TCP.h"
#include "NorvoFrame.h"
#include "TestTable.h"
#include "simframe.h"
#include "simscriptedplc.h"

#include <QtTest/QtTest>

#include <mutex>

namespace {

enum Transport { Tcp, Pty };

// One host call: "R<n>" reads D<n> (one register), "B<n>" reads X<n>
// (one bit), "W<n>" writes n to D<n>.
int call(CmdNorvo_TCP &link, const QString &what, QByteArray *out)
{
    const QString number = what.mid(1).rightJustified(4, '0');
    switch (what.at(0).toLatin1()) {
    case 'R':
        return link.Read_area(1, number, 1, out, NorvoArea::Area_D, what);
    case 'B':
        return link.Read_bool(1, number, 1, out, NorvoArea::Area_WX, what);
    default:
        return link.Write_area(1, number, 1, QByteArray::fromHex("0000000" + what.mid(1).toLatin1()),
                               NorvoArea::Area_D, what);
    }
}

// The right answer to a request: register n holds n, bit n is n % 2, and
// writes are acknowledged.
QByteArray honestAnswer(const QByteArray &request)
{
    const SimRequest r = SimFrame::parseRequest(request);
    QVector<quint16> data;
    for (int i = 0; i < r.count && !r.isRegisterWrite(); ++i)
        data << quint16(r.isBitRead() ? (r.start + i) % 2 : r.start + i);
    return SimFrame::answer(r, SimErrorCode::none,
                            r.isBitRead() ? SimFrame::bitData(data) : SimFrame::registerData(data));
}

// What the PLC does on each request it receives, in order: the answers it
// sends then, by request index ("" silent, "0 1" the answer to request 0,
// late, then to request 1). A PLC answers in order, so a late answer comes
// just before the next one.
using Script = QStringList;

// Command, area and address of each request, e.g. "46D00001".
QStringList requestKeys(const QList<QByteArray> &requests)
{
    QStringList keys;
    for (const QByteArray &request : requests) {
        const bool bitRead = request.mid(3, 2) == "44";
        keys << QString::fromLatin1(request.mid(3, 2) + request.mid(7, bitRead ? 5 : 6));
    }
    return keys;
}

} // namespace

Q_DECLARE_METATYPE(Transport)

class TestOwedAnswers : public QObject
{
    Q_OBJECT
private slots:
    void lateAnswers_data();
    void lateAnswers();
    void newDriverBehindSlowGateway_data();
    void newDriverBehindSlowGateway();
    void frameCutting_data();
    void frameCutting();
};

void TestOwedAnswers::lateAnswers_data()
{
    addColumns<Transport, QStringList, Script, QList<int>, QStringList, QByteArray>(
        "transport", "calls", "script", "results", "requests", "lastOut");

    const QStringList sameShape { "R1", "R2" };
    for (Transport t : { Tcp, Pty }) {
        const char *on = t == Tcp ? "tcp" : "pty";
        // The answer owed to R1 would pass every check of R2's: a read of
        // X0 goes first, and everything up to its answer is dropped.
        QTest::addRow("%s: same shape, owed answer comes with the next", on)
            << t << sameShape << Script { "", "0 1", "2" } << QList<int> { -2, 0 }
            << QStringList { "46D00001", "44X0000", "46D00002" } << QByteArray::fromHex("00000002");
        QTest::addRow("%s: same shape, owed answer never comes", on)
            << t << sameShape << Script { "", "1", "2" } << QList<int> { -2, 0 }
            << QStringList { "46D00001", "44X0000", "46D00002" } << QByteArray::fromHex("00000002");
        // An answer of another shape cannot be mistaken: no extra request.
        QTest::addRow("%s: other shape, owed answer comes during it", on)
            << t << QStringList { "B1", "R2" } << Script { "", "0 1" } << QList<int> { -2, 0 }
            << QStringList { "44X0001", "46D00002" } << QByteArray::fromHex("00000002");
        QTest::addRow("%s: other shape, owed answer never comes", on)
            << t << QStringList { "B1", "R2" } << Script { "", "1" } << QList<int> { -2, 0 }
            << QStringList { "44X0001", "46D00002" } << QByteArray::fromHex("00000002");
        // A write is never acknowledged by the earlier write's answer.
        QTest::addRow("%s: write after an unanswered write", on)
            << t << QStringList { "W5", "W6" } << Script { "", "0 1", "2" } << QList<int> { -2, 0 }
            << QStringList { "47D00005", "46D00000", "47D00006" } << QByteArray();
        // Unanswered, the synchronising read takes the call's turn; the
        // next call sends it again, as any answer of it comes after R1's.
        QTest::addRow("%s: synchronising read unanswered", on)
            << t << QStringList { "R1", "R2", "R3" } << Script { "", "", "2", "3" }
            << QList<int> { -2, -2, 0 }
            << QStringList { "46D00001", "44X0000", "44X0000", "46D00003" }
            << QByteArray::fromHex("00000003");
        // Everything owed arrives before the next request: nothing extra.
        QTest::addRow("%s: owed answers in before the next request", on)
            << t << QStringList { "R1", "late0", "R2" } << Script { "", "1" } << QList<int> { -2, 0 }
            << QStringList { "46D00001", "46D00002" } << QByteArray::fromHex("00000002");
    }
}

void TestOwedAnswers::lateAnswers()
{
    QFETCH(Transport, transport);
    QFETCH(QStringList, calls);
    QFETCH(Script, script);
    QFETCH(QList<int>, results);
    QFETCH(QStringList, requests);
    QFETCH(QByteArray, lastOut);

    SimScriptedPlc plc;
    auto seen = std::make_shared<QList<QByteArray>>();
    auto lock = std::make_shared<std::mutex>();
    plc.setResponder([script, seen, lock](const QByteArray &request) {
        std::lock_guard<std::mutex> guard(*lock);
        seen->append(request);
        QByteArray sent;
        const QStringList answers = script.value(seen->size() - 1).split(' ', Qt::SkipEmptyParts);
        for (const QString &index : answers)
            sent += honestAnswer(seen->value(index.toInt()));
        return sent;
    });
    CmdNorvo_TCP link;
    if (transport == Tcp) {
        QVERIFY(plc.listenTcp());
        QCOMPARE(link.EthConnectDrive("127.0.0.1", plc.tcpPort()), 0);
        QVERIFY(plc.waitForConnections(1, 5000));
    } else {
        QVERIFY(plc.openPty());
        QCOMPARE(link.serialConnectDrive(plc.ptyPath(), 115200, 8, 1, "N"), 0);
    }

    QList<int> got;
    QByteArray out;
    for (const QString &what : calls) {
        if (what == "late0") { // the answer to request 0 is in before the next call
            plc.sendRaw(honestAnswer(plc.requests().first()));
            QTest::qWait(200);
            continue;
        }
        out.clear();
        got << call(link, what, &out);
    }
    QCOMPARE(got, results);
    QCOMPARE(requestKeys(plc.requests()), requests);
    QCOMPARE(out.toHex(), lastOut.toHex());
    QCOMPARE(link.owedAnswers(), 0);
}

void TestOwedAnswers::newDriverBehindSlowGateway_data()
{
    addColumns<Transport, int, int>("transport", "waitMs", "maxFailed");
    QTest::newRow("tcp, learnt wait") << Tcp << 0 << 3;
    QTest::newRow("pty, learnt wait") << Pty << 0 << 3;
    QTest::newRow("tcp, timeout=1000") << Tcp << 1000 << 1;
    QTest::newRow("pty, timeout=1000") << Pty << 1000 << 1;
}

// A driver replaced while its answers are still owed, behind a line that
// answers everything 500 ms late: the new one never takes them for its own,
// and reads well once its wait covers the line.
void TestOwedAnswers::newDriverBehindSlowGateway()
{
    QFETCH(Transport, transport);
    QFETCH(int, waitMs);
    QFETCH(int, maxFailed);

    SimScriptedPlc plc;
    plc.setOpeningReadsAnswered(false);
    plc.setResponder([](const QByteArray &request) { return honestAnswer(request); });
    plc.setAnswerDelay(500);
    QVERIFY(transport == Tcp ? plc.listenGateway() : plc.openPty());
    auto open = [&](CmdNorvo_TCP &link) {
        link.setAnswerWait(waitMs);
        return transport == Tcp ? link.EthConnectDrive("127.0.0.1", plc.tcpPort()) == 0
                                : link.serialConnectDrive(plc.ptyPath(), 115200, 8, 1, "N") == 0;
    };
    {
        CmdNorvo_TCP old;
        old.setAnswerWait(50);
        QVERIFY(open(old));
        old.setAnswerWait(waitMs);
        QByteArray out;
        for (const char *what : { "R20", "R10" })
            call(old, QString::fromLatin1(what), &out);
    } // gone while the line still owes it answers

    CmdNorvo_TCP link;
    QVERIFY(open(link));
    int failed = 0;
    for (int i = 0; i < 8; ++i) {
        const QString what = i % 2 ? "R100" : "R200";
        QByteArray out;
        const int result = call(link, what, &out);
        const int n = what.mid(1).toInt();
        const char digits[] = { char(n >> 12 & 0xF), char(n >> 8 & 0xF), char(n >> 4 & 0xF), char(n & 0xF) };
        if (result == 0)
            QCOMPARE(out.toHex(), QByteArray(digits, 4).toHex()); // register n holds n
        else
            ++failed;
    }
    QVERIFY2(failed <= maxFailed, qPrintable(QString::number(failed)));
}

void TestOwedAnswers::frameCutting_data()
{
    addColumns<QByteArray, QByteArrayList, QByteArray>("stream", "frames", "left");

    const QByteArray a = SimFrame::frame("01460" "0001");
    const QByteArray b = SimFrame::frame("01470");
    QTest::newRow("two frames") << a + b << QByteArrayList { a, b } << QByteArray();
    QTest::newRow("tail of a lost frame first") << a.mid(4) + b << QByteArrayList { b } << QByteArray();
    QTest::newRow("lost start, then a frame") << a.left(5) + b << QByteArrayList { b } << QByteArray();
    QTest::newRow("frame still arriving") << b + a.left(6) << QByteArrayList { b } << a.left(6);
    QTest::newRow("noise only") << QByteArray("xx\x03yy") << QByteArrayList {} << QByteArray();
}

void TestOwedAnswers::frameCutting()
{
    QFETCH(QByteArray, stream);
    QFETCH(QByteArrayList, frames);
    QFETCH(QByteArray, left);

    QByteArrayList got;
    NorvoFrame::FrameCutter cutter(stream.constData(), stream.size());
    const char *frame = nullptr;
    int size = 0;
    while (cutter.next(&frame, &size))
        got << QByteArray(frame, size);
    QCOMPARE(got, frames);
    QCOMPARE(stream.mid(cutter.used()), left);
}

QTEST_GUILESS_MAIN(TestOwedAnswers)
#include "tst_owedanswers.moc"
