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
    qint64 lastAnswerAt = 0;

    static QByteArray honest(const QByteArray &request)
    {
        const SimRequest r = SimFrame::parseRequest(request);
        QVector<quint16> data;
        for (int i = 0; i < r.count && !r.isRegisterWrite(); ++i)
            data << quint16(r.isBitRead() ? (r.start + i) % 2 : r.start + i);
        return SimFrame::answer(r, SimErrorCode::none,
                                r.isBitRead() ? SimFrame::bitData(data) : SimFrame::registerData(data));
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
        const qint64 at = qMax(now + (what == "late" ? ms : 1), lastAnswerAt + 1);
        lastAnswerAt = at;
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

    // "R<n>" reads D<n>, "B<n>" bit X<n>, "W<n>" writes n to D<n>, "S2:"
    // before one of them addresses station 2. The link code, as a command
    // returns it.
    int call(const QString &what)
    {
        const int station = what.startsWith("S2:") ? 2 : 1;
        const QString op = what.mid(station == 2 ? 3 : 0);
        const int n = op.mid(1).toInt();
        const QString number = QString::number(n).rightJustified(4, '0');
        const char kind = op.at(0).toLatin1();
        const NorvoRequest request = kind == 'B'
            ? NorvoRequest(NorvoCommand::BitRead, station, number, 1, NorvoArea::Area_WX)
            : kind == 'R' ? NorvoRequest(NorvoCommand::RegisterRead, station, number, 1, NorvoArea::Area_D)
                          : NorvoRequest(NorvoCommand::RegisterWrite, station, number, 1, NorvoArea::Area_D,
                                         QByteArray::fromHex(QByteArray::number(n, 16).rightJustified(8, '0')));
        const LinkExchange::Result result = exchange.command(request);
        if (result.verdict.isGood()) {
            QByteArray out;
            request.takeAnswer(result.answer, &out);
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
            exchange.linkOpened();
        } else if (words.at(0) == "switch") { // the other link kind
            a.close();
            exchange.setLink(&b);
            exchange.linkOpened();
        } else if (words.at(0) == "wait") {
            clock.now += words.at(1).toInt();
            exchange.takeStaleInput();
        } else if (words.at(0) == "stray") { // an answer no request of this session asked for
            a.arrive(clock.now, Plc::honest(SimFrame::frame("014601D0" + words.at(1).toLatin1())));
        } else if (words.at(0) == "junk") {
            a.arrive(clock.now, QByteArray(1, 0x02) + QByteArray(words.at(1).toInt(), 'A'));
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
    QTest::newRow("reconnect, nothing owed: no synchronising read")
        << QStringList { "R100", "reopen", "R200" } << QStringList {} << QList<int> { 0, 1, 0 }
        << QStringList { "46D00100", "46D00200" };
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
    // A line that repeats answers: the repeat nothing owes is noticed, and
    // a synchronising read goes before the next read it could pass for.
    // (A copy that comes while a request of its shape waits cannot be told
    // apart: no protocol without request ids can.)
    QTest::newRow("duplicated answers are noticed")
        << repeat({ "R100", "R200" }, 2) << repeat({ "dup 3" }, 30) << QVector<int>(4, 0).toList()
        << QStringList { "46D00100", "44X0000", "46D00200", "44X0000", "46D00100", "44X0000", "46D00200" };
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
    QCOMPARE(s.exchange.owed.isInStep(), !stepLost);
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
    QVERIFY(s.exchange.recvBuffer.size() <= LinkExchange::maxBuffered);
    QVERIFY(!s.exchange.owed.isInStep());
    QCOMPARE(s.call("R200"), 0);
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
