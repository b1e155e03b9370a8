// SPDX-License-Identifier: LGPL-2.1-or-later
// The exchange and its ledger over a fake link and a fake clock: every
// frame that arrives is accounted for, whatever the line does between and
// during calls. Each row is a host session against a PLC model written from
// the PLC's side; no row may show a wrong value as good or report a write
// done that the PLC never got.
#include "AreaType.h"
#include "LinkExchange.h"
#include "TestTable.h"
#include "simframe.h"

#include <QtTest/QtTest>

#include <functional>
#include <malloc.h>
#include <map>

namespace {

class FakeClock final : public LinkClock
{
public:
    qint64 nowMs() const override { return now; }
    qint64 now = 0;
};

// A link whose bytes arrive at set times of the fake clock. Waiting moves
// the clock on to the next arrival or the end of the wait.
class FakeLink final : public LinkTransport
{
public:
    explicit FakeLink(FakeClock &clock) : clock_(clock) {}

    std::function<void(const QByteArray &)> onWrite; // the PLC side
    std::function<void()> hostEvent;                // runs once in the next pause
    bool usable = true;

    void arrive(qint64 atMs, const QByteArray &bytes) { arrivals_.emplace(atMs, bytes); }

    bool isUsable() const override { return usable; }
    void close() override { usable = false; }
    bool write(const QByteArray &frame) override
    {
        if (!usable)
            return false;
        if (onWrite)
            onWrite(frame);
        return true;
    }
    void waitForInput(int ms) override
    {
        const qint64 end = clock_.now + ms;
        if (!arrivals_.empty() && arrivals_.begin()->first <= end)
            clock_.now = qMax(clock_.now, arrivals_.begin()->first);
        else
            clock_.now = end;
        takeArrived();
    }
    void pause(int ms) override
    {
        clock_.now += ms;
        takeArrived();
        if (auto event = std::exchange(hostEvent, nullptr))
            event();
    }
    void takeArrived() override
    {
        while (usable && !arrivals_.empty() && arrivals_.begin()->first <= clock_.now) {
            const QByteArray bytes = arrivals_.begin()->second;
            arrivals_.erase(arrivals_.begin());
            deliver(bytes);
        }
    }
    int wireMs(int) const override { return 0; }

private:
    FakeClock &clock_;
    std::multimap<qint64, QByteArray> arrivals_;
};

// The PLC: register n holds n, bit n is n % 2, writes are acknowledged. It
// answers its requests in order, each as the script says ("" or "now",
// "late MS", "silent", "lost" (never received), "dup MS", "bad"), by the
// index of the request it received.
struct Plc
{
    QStringList script;
    QList<QByteArray> received;
    QList<QByteArray> lost;
    std::map<const FakeLink *, qint64> lastAnswerAt; // answers come in order on each path

    static QByteArray honest(const QByteArray &request)
    {
        const SimRequest r = SimFrame::parseRequest(request);
        QVector<quint16> data;
        for (int i = 0; i < r.count && !r.isRegisterWrite(); ++i)
            data << quint16(r.isBitRead() ? (r.start + i) % 2 : r.start + i);
        return SimFrame::answer(r, SimErrorCode::none,
                                r.isBitRead() ? SimFrame::bitData(data) : SimFrame::registerData(data));
    }

    // Another host's request, answered at atMs, before anything of ours:
    // its writes are refused (error code 2), its reads answered.
    void other(FakeLink &link, qint64 atMs, const QByteArray &request)
    {
        const SimRequest r = SimFrame::parseRequest(request);
        const QByteArray answer = r.isRegisterWrite() ? SimFrame::answer(r, '2')
                                                      : honest(request);
        qint64 &last = lastAnswerAt[&link];
        last = qMax(atMs, last + 1);
        link.arrive(last, answer);
    }

    void serve(FakeLink &link, qint64 now, const QByteArray &request)
    {
        const QStringList step = script.value(received.size() + lost.size()).split(' ');
        const QString what = step.value(0);
        const int ms = step.value(1).toInt();
        if (what == "lost") {
            lost << request;
            return;
        }
        received << request;
        if (what == "silent")
            return;
        QByteArray answer = honest(request);
        if (what == "bad")
            answer = SimFrame::withWrongChecksum(answer);
        qint64 &last = lastAnswerAt[&link];
        const qint64 at = qMax(now + (what == "late" ? ms : 1), last + 1);
        last = at;
        link.arrive(at, answer);
        if (what == "dup")
            link.arrive(at + ms, answer);
    }
};

// One host session: the exchange over up to two fake links.
struct Session
{
    FakeClock clock;
    FakeLink a { clock }, b { clock };
    Plc plc;
    LinkExchange exchange { clock };
    FakeLink *current = &a;
    int wrongValues = 0;
    int falseAcks = 0;

    Session()
    {
        for (FakeLink *link : { &a, &b }) {
            link->setReceiver(&exchange);
            link->onWrite = [this, link](const QByteArray &r) { plc.serve(*link, clock.now, r); };
        }
        exchange.setLink(&a);
    }

    // Link a is on the path the exchange starts on.
    QByteArray path() const { return current == &a ? QByteArray() : QByteArray("b"); }

    // A new driver's first link: whose answers may be on it is unknown.
    void open()
    {
        exchange.linkOpened(path());
    }

    // "R<n>" reads D<n>, "B<n>" bit X<n>, "W<n>" writes n to D<n>.
    static NorvoRequest request(const QString &op, int station)
    {
        const int n = op.mid(1).toInt();
        const QString number = QString::number(n).rightJustified(4, '0');
        switch (op.at(0).toLatin1()) {
        case 'B':
            return NorvoRequest(NorvoCommand::BitRead, station, number, 1, NorvoArea::Area_WX);
        case 'R':
            return NorvoRequest(NorvoCommand::RegisterRead, station, number, 1, NorvoArea::Area_D);
        default:
            return NorvoRequest(NorvoCommand::RegisterWrite, station, number, 1, NorvoArea::Area_D,
                                QByteArray::fromHex(QByteArray::number(n, 16).rightJustified(8, '0')));
        }
    }

    // One of the above; "S2:" before it addresses station 2. The link code,
    // as a command returns it.
    int call(const QString &what)
    {
        const int station = what.startsWith("S2:") ? 2 : 1;
        const QString op = what.mid(station == 2 ? 3 : 0);
        const int n = op.mid(1).toInt();
        const char kind = op.at(0).toLatin1();
        const NorvoRequest request = this->request(op, station);
        const LinkExchange::Result result = exchange.command(request);
        if (result.verdict.isGood()) {
            QByteArray out;
            request.appendData(result.answer, &out);
            const int value = kind == 'W' ? n
                : kind == 'B' ? out.at(0) : (out.at(2) << 4 | out.at(3)) + (out.at(0) << 12 | out.at(1) << 8);
            if (value != (kind == 'B' ? n % 2 : n))
                ++wrongValues;
            if (kind == 'W' && !plc.received.contains(request.frame()))
                ++falseAcks;
        }
        clock.now += 1;
        return result.verdict.linkCode();
    }

    // Host events between calls; a call otherwise.
    int step(const QString &what)
    {
        const QStringList words = what.split(' ');
        if (words.at(0) == "reopen") { // the same link, a new connection
            exchange.linkOpened(path());
        } else if (words.at(0) == "switch") { // the other path
            FakeLink *from = current;
            current = current == &a ? &b : &a;
            from->close();
            current->usable = true;
            exchange.setLink(current);
            exchange.linkOpened(path());
        } else if (words.at(0) == "new") { // a new driver's first link
            exchange.linkOpened(path());
        } else if (words.at(0) == "timeout") { // a new driver, with the host's wait set
            exchange.linkOpened(path(), words.at(1).toInt());
        } else if (words.at(0) == "other") { // another host's request, just before ours
            plc.other(*current, clock.now + words.at(2).toInt(), request(words.at(1), 1).frame());
        } else if (words.at(0) == "wait") {
            clock.now += words.at(1).toInt();
            exchange.takeStaleInput();
        } else if (words.at(0) == "stray") { // an answer no request of this session asked for
            current->arrive(clock.now, Plc::honest(SimFrame::frame("014601D0" + words.at(1).toLatin1())));
        } else if (words.at(0) == "junk") {
            current->arrive(clock.now, QByteArray(1, 0x02) + QByteArray(words.at(1).toInt(), 'A'));
        } else {
            return call(what);
        }
        return 1;
    }
};

// Command, area and address of a request, e.g. "46D00100"; "2:" for station 2.
QStringList keys(const QList<QByteArray> &requests)
{
    QStringList out;
    for (const QByteArray &r : requests) {
        const bool bits = r.mid(3, 2) == "44";
        out << QString::fromLatin1((r.mid(1, 2) == "02" ? "2:" : "") + r.mid(3, 2)
                                   + r.mid(7, bits ? 5 : 6));
    }
    return out;
}

QStringList repeat(const QStringList &steps, int times)
{
    QStringList out;
    for (int i = 0; i < times; ++i)
        out << steps;
    return out;
}

} // namespace

class TestLinkExchange : public QObject
{
    Q_OBJECT
private slots:
    void sessions_data();
    void sessions();
    void hostCallsInsideAWait_data();
    void hostCallsInsideAWait();
    void floodIsDroppedInLinearTime();
    void repeatingLineIsGuarded();
    void strayShapesCostLinearTimeAndBoundedMemory();
    void ledgerBoundLosesNothingSilently();
};

void TestLinkExchange::sessions_data()
{
    // steps: calls and host events; results: the link code of each call
    // (1 for an event); sent: the requests the PLC received, if checked.
    addColumns<QStringList, QStringList, QList<int>, QStringList>("steps", "script", "results", "sent");

    QTest::newRow("healthy: nothing extra sent")
        << QStringList { "R100", "R200", "W7", "B3" } << QStringList {} << QList<int> { 0, 0, 0, 0 }
        << QStringList { "46D00100", "46D00200", "47D00007", "44X0003" };
    // A gateway forwards the late answer over the new connection.
    QTest::newRow("reconnect behind a gateway, late read answer")
        << QStringList { "R100", "reopen", "R200", "R100", "R200" }
        << QStringList { "late 400" } << QList<int> { -2, 1, 0, 0, 0 }
        << QStringList { "46D00100", "44X0000", "46D00200", "46D00100", "46D00200" };
    QTest::newRow("reconnect behind a gateway, lost write")
        << QStringList { "W5", "reopen", "W6", "W7" } << QStringList { "late 400", "lost", "" }
        << QList<int> { -2, 1, -2, 0 } << QStringList();
    // Another host's answers may be on a connection this driver did not see.
    QTest::newRow("reconnect, nothing owed: one synchronising read")
        << QStringList { "R100", "reopen", "R200", "R300" } << QStringList {} << QList<int> { 0, 1, 0, 0 }
        << QStringList { "46D00100", "44X0000", "46D00200", "46D00300" };
    // The old link's late answer never reaches the exchange.
    QTest::newRow("switch link kinds while an answer is owed")
        << QStringList { "R100", "switch", "R200", "W9" } << QStringList { "late 400" }
        << QList<int> { -2, 1, 0, 0 } << QStringList();
    QTest::newRow("an answer a minute late")
        << QStringList { "R100", "wait 60500", "R200", "R300" } << QStringList { "late 61000" }
        << QList<int> { -2, 1, 0, 0 } << QStringList { "46D00100", "44X0000", "46D00200", "46D00300" };
    QTest::newRow("a frame nothing owes between calls")
        << QStringList { "R100", "stray 0500", "wait 10", "R200" } << QStringList {}
        << QList<int> { 0, 1, 1, 0 } << QStringList { "46D00100", "44X0000", "46D00200" };
    // The synchronising read itself answers late, but the owed answer
    // came first: then only the synchronising read is owed, and it is of
    // another shape than the read it went before.
    QTest::newRow("synchronising read answers late")
        << QStringList { "R100", "R200", "R300" } << QStringList { "late 400", "late 400" }
        << QList<int> { -2, 0, 0 } << QStringList { "46D00100", "44X0000", "46D00200", "46D00300" };
    // Unanswered, it is sent again: any answer of it comes after R100's.
    QTest::newRow("synchronising read unanswered")
        << QStringList { "R100", "R200", "R300" } << QStringList { "silent", "silent", "", "" }
        << QList<int> { -2, -2, 0 } << QStringList { "46D00100", "44X0000", "44X0000", "46D00300" };
    QTest::newRow("bad checksums leave nothing owed")
        << QStringList { "R100", "R200", "R300" } << QStringList { "bad", "bad", "" }
        << QList<int> { -1, -1, 0 } << QStringList { "46D00100", "46D00200", "46D00300" };
    // Another station's late answer, during a call to station 1, is
    // dropped as owed; neither station needs more.
    QTest::newRow("stations kept apart")
        << QStringList { "S2:R100", "R200", "S2:R300", "R400" } << QStringList { "late 400" }
        << QList<int> { -2, 0, 0, 0 } << QStringList { "2:46D00100", "46D00200", "2:46D00300", "46D00400" };
    // A line that repeats answers: the first copy nothing owes is noticed;
    // then each answer is used once the line has had time to show its copy.
    QTest::newRow("duplicated answers are noticed")
        << repeat({ "R100", "R200" }, 2) << repeat({ "dup 3" }, 30) << QVector<int>(4, 0).toList()
        << QStringList { "46D00100", "44X0000", "46D00200", "46D00100", "46D00200" };
    // A new driver, while the PLC still owes the answer to another host's
    // read of D200 (sent just before): the synchronising read, of a shape
    // nobody uses, goes first and clears it.
    QTest::newRow("new owner: another host's answer still owed")
        << QStringList { "new", "other R200 100", "R200", "R100", "R200" } << QStringList {}
        << QList<int> { 1, 1, 0, 0, 0 } << QStringList { "44X0000", "46D00200", "46D00100", "46D00200" };
    // The same behind a slow gateway: the synchronising read itself comes
    // late and fails, and its late answer teaches the wait.
    QTest::newRow("new owner behind a slow gateway")
        << QStringList { "new", "other R200 500", "R200", "R100", "R200", "R100" } << repeat({ "late 500" }, 8)
        << QList<int> { 1, 1, -2, 0, 0, 0 } << QStringList();
    QTest::newRow("new owner: another host's writes refused")
        << QStringList { "new", "other W3 100", "other W4 120", "W5", "W6" } << QStringList {}
        << QList<int> { 1, 1, 1, 0, 0 } << QStringList { "46D00000", "47D00005", "47D00006" };
    // A read on path A goes late, the host uses path B, then A again:
    // B's answers settle nothing A owes.
    QTest::newRow("path switch A-B-A")
        << QStringList { "R100", "switch", "R100", "R200", "switch", "R100", "R200" } << QStringList { "late 600" }
        << QList<int> { -2, 1, 0, 0, 1, 0, 0 } << QStringList();
    // Every answer 500 ms late: after a few failed reads the wait covers them.
    QTest::newRow("learnt wait")
        << repeat({ "R100", "R200" }, 5) << repeat({ "late 500" }, 20)
        << QList<int> { -2, 0, 0, 0, 0, 0, 0, 0, 0, 0 } << QStringList();
    // The host's setting: no read fails.
    QTest::newRow("wait set by the host")
        << QStringList { "timeout 1000", "R100", "R200", "R100" } << repeat({ "late 500" }, 20)
        << QList<int> { 1, 0, 0, 0 } << QStringList();
}

void TestLinkExchange::sessions()
{
    QFETCH(QStringList, steps);
    QFETCH(QStringList, script);
    QFETCH(QList<int>, results);
    QFETCH(QStringList, sent);

    Session s;
    s.plc.script = script;
    QList<int> got;
    for (const QString &step : steps)
        got << s.step(step);
    QCOMPARE(got, results);
    if (!sent.isEmpty())
        QCOMPARE(keys(s.plc.received), sent);
    QCOMPARE(s.wrongValues, 0);
    QCOMPARE(s.falseAcks, 0);
}

void TestLinkExchange::hostCallsInsideAWait_data()
{
    addColumns<QString, int, bool>("event", "result", "stepLost");
    // A nested command is refused, and the outer one goes on.
    QTest::newRow("command") << "command" << 0 << false;
    QTest::newRow("disconnect") << "disconnect" << -3 << false;
    QTest::newRow("connect the other kind") << "switch" << -3 << true;
}

// The host's handlers run inside the waits of an exchange. Whatever they
// do, the waiting call ends with a defined result and what it is owed stays
// owed: a new link starts out of step.
void TestLinkExchange::hostCallsInsideAWait()
{
    QFETCH(QString, event);
    QFETCH(int, result);
    QFETCH(bool, stepLost);

    Session s;
    int nested = 1;
    s.a.hostEvent = [&] {
        if (event == "command")
            nested = s.call("R7");
        else if (event == "disconnect")
            s.a.close();
        else
            s.step("switch");
    };
    QCOMPARE(s.call("R100"), result);
    if (event == "command")
        QCOMPARE(nested, -3);
    QCOMPARE(s.exchange.owed().isInStep(), !stepLost);
    if (stepLost) {
        // The answer comes over the new link after all: never taken.
        s.b.arrive(s.clock.now, Plc::honest(s.plc.received.first()));
        QCOMPARE(s.call("R200"), 0);
        QCOMPARE(keys(s.plc.received), (QStringList { "46D00100", "44X0000", "46D00200" }));
    }
    QCOMPARE(s.wrongValues, 0);
}

// Megabytes of noise while an answer is owed: dropped as it comes, in
// linear time; the bound puts the link out of step.
void TestLinkExchange::floodIsDroppedInLinearTime()
{
    Session s;
    s.plc.script = QStringList { "late 400" };
    QCOMPARE(s.call("R100"), -2);
    QElapsedTimer spent;
    spent.start();
    for (int i = 0; i < 64; ++i)
        s.step("junk 65536");
    s.step("wait 1");
    QVERIFY2(spent.elapsed() < 10000, "dropping noise took too long");
    QVERIFY(s.exchange.buffered() <= LinkExchange::maxBuffered);
    QVERIFY(!s.exchange.owed().isInStep());
    QCOMPARE(s.call("R200"), 0);
    QCOMPARE(s.wrongValues, 0);
}

// Every answer repeated 15 ms later, reads of one shape back to back: once
// the first copies have shown the line, none passes for an answer.
void TestLinkExchange::repeatingLineIsGuarded()
{
    Session s;
    s.open();
    s.plc.script = repeat({ "dup 15" }, 400);
    int failed = 0;
    for (int i = 0; i < 150; ++i)
        failed += s.call(i % 4 == 3 ? "B5" : QStringLiteral("R%1").arg(100 + i % 4)) != 0;
    QVERIFY(s.exchange.guardsRepeats());
    QVERIFY2(s.wrongValues <= 3, qPrintable(QString::number(s.wrongValues)));
    QVERIFY2(failed <= 5, qPrintable(QString::number(failed)));
    const qint64 guardedStart = s.clock.now;
    for (int i = 0; i < 10; ++i)
        QCOMPARE(s.call("R100"), 0);
    qInfo("wrong values %d, failed reads %d of 150; a guarded read takes %lld ms", s.wrongValues, failed,
          (s.clock.now - guardedStart) / 10);

    // The line cleans up: after a run of exchanges without copies, answers
    // are used at once again.
    s.plc.script.clear();
    s.plc.received.clear();
    for (int i = 0; i < RepeatGuard::cleanRunToEnd + 1; ++i)
        QCOMPARE(s.call("R100"), 0);
    QVERIFY(!s.exchange.guardsRepeats());
}

// A flood of well-formed frames of a station the host never addresses,
// each of a new shape, during one call: judged in linear time, and what the
// ledger keeps of them stays bounded.
void TestLinkExchange::strayShapesCostLinearTimeAndBoundedMemory()
{
    Session s;
    s.open();
    QCOMPARE(s.call("R100"), 0);
    const size_t heldBefore = mallinfo2().uordblks;
    QByteArray flood;
    for (int i = 0; i < 60000; ++i) {
        const QByteArray command = QByteArray::number(0x100 + i % 200, 16).right(2).toUpper();
        const QByteArray data(i / 200 % 250, '0');
        flood += SimFrame::frame("07" + command + "0" + data);
    }
    s.plc.script = QStringList { "", "", "late 100" }; // the synchronising read, R100, R200
    s.a.arrive(s.clock.now + 50, flood);
    QElapsedTimer spent;
    spent.start();
    QCOMPARE(s.call("R200"), 0);
    qInfo("60000 stray frames judged in %lld ms", spent.elapsed());
    QVERIFY2(spent.elapsed() < 10000, "judging stray frames took too long");
    flood.clear();
    // What the exchange keeps of them (under a sanitizer, malloc does not say).
    const qint64 kept = qint64(mallinfo2().uordblks) - qint64(heldBefore);
    qInfo("heap held afterwards: %lld bytes more", kept);
    QVERIFY2(heldBefore == 0 || kept < 1024 * 1024, qPrintable(QString::number(kept)));
    QVERIFY(!s.exchange.owed().isInStep(QByteArray("0746")));
    QCOMPARE(s.exchange.owed().stationsTracked(), 0);
    QCOMPARE(s.wrongValues, 0);
}

// More runs owed than the ledger keeps: the oldest go, and their station is
// out of step rather than trusted.
void TestLinkExchange::ledgerBoundLosesNothingSilently()
{
    OwedAnswers owed;
    const NorvoRequest first(NorvoCommand::RegisterRead, 1, "0100", 1, NorvoArea::Area_D);
    owed.owe(first.answerShape());
    for (int i = 0; i < OwedAnswers::capacity; ++i) {
        const NorvoRequest other(i % 2 ? NorvoCommand::BitRead : NorvoCommand::RegisterRead, 2,
                                 "0000", 1 + i % 2, NorvoArea::Area_D);
        owed.owe(other.answerShape());
    }
    const QByteArray late = Plc::honest(first.frame());
    QVERIFY(!owed.owes(late));
    QVERIFY(!owed.isInStep(first.answerShape().echo));
    QVERIFY(owed.mayBeStale(late));
    QVERIFY(owed.needsSync(first.answerShape()));
}

QTEST_GUILESS_MAIN(TestLinkExchange)
#include "tst_linkexchange.moc"
