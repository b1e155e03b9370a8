// SPDX-License-Identifier: LGPL-2.1-or-later
// The bounded soak: a host polls labels against the simulator and now and
// then writes, on TCP and on a pty, in three kinds of rows:
// - random faults: every fault at random (late answers, no answer, a bad
//   checksum, an error code, answers in two pieces, dropped connections);
//   after a dropped link the host reconnects with ConnectDrive;
// - slow answers: every answer late by a fixed delay, from 0 to 2 s, then
//   prompt again;
// - slow at times: some answers late, up to 2 s;
// - links that change while answers are owed: reconnects behind a
//   serial-to-Ethernet gateway (which forwards a late answer over the new
//   connection), switches between TCP and a pty, a pty whose far end goes
//   and comes back;
// - a line that duplicates answers: the one row where wrong values are
//   counted, not refused (no protocol without request ids can tell a copy
//   that comes while a request of its shape waits from its answer).
// Answers name no address, so an answer that comes after the driver gave up
// on its request may arrive while a later request waits. Every register
// holds a value no other address holds, so a read that takes another
// request's answer always returns wrong data. A read reported as good must
// return what the PLC holds; a write reported as good must be in the PLC's
// memory when the call returns (it is not when another request's answer
// acknowledged a write the PLC never carried out). The counts of every
// outcome are printed per stretch of each row and for the whole run.
//
// NORVO_SOAK_SECONDS  length of the whole run (default 64, at least 32); e.g.
//                     600 by hand:
//   NORVO_SOAK_SECONDS=600 ./tst_soak
// NORVO_SOAK_SEED     seed of the random choices (default 1)

#include "HostSession.h"
#include "PlcModel.h"
#include "TestTable.h"
#include "simframe.h"
#include "simscriptedplc.h"
#include "simserver.h"

#include <QtCore/QFile>
#include <QtCore/QRandomGenerator>
#include <QtCore/QTemporaryDir>
#include <QtTest/QtTest>

#include <climits>

namespace {

int soakSeconds()
{
    // Shorter, the stretches of the slow rows get too short to show anything.
    return qMax(32, envNumber("NORVO_SOAK_SECONDS", 64));
}

constexpr quint32 memorySeed = 11;

const PolledLabel polledLabels[] = {
    { "D100", SimArea::D, 100, DT_Int16, 4 },
    { "D104", SimArea::D, 104, DT_Int16, 4 }, // same request shape as D100, other data
    { "D110", SimArea::D, 110, DT_UInt16, 1 },
    { "D200", SimArea::D, 200, DT_Int32, 2 },
    { "D204", SimArea::D, 204, DT_Int32, 2 },
    { "D300", SimArea::D, 300, DT_Float, 2 },
    { "D400", SimArea::D, 400, DT_Double, 1 },
    { "D600", SimArea::D, 600, DT_UInt8, 6 },
    { "R7", SimArea::R, 7, DT_Int64, 1 },
    { "TMR5", SimArea::RT, 5, DT_UInt32, 2 },
    { "CTR12", SimArea::RC, 12, DT_Int16, 4 },
    { "D20", SimArea::D, 20, DT_Bool, 20 },
    { "X17", SimArea::X, 17, DT_Bool, 10 },
    { "X40", SimArea::X, 40, DT_Bool, 10 },
    { "Y3", SimArea::Y, 3, DT_UInt8, 2 },
    { "M16", SimArea::WM, 16, DT_UInt16, 2 },
};

// Registers the soak writes to and reads back, away from everything it
// polls. Each write stores a value no register has held before.
constexpr int writeBase = 5000;
constexpr int writeSlots = 8;

PolledLabel slotLabel(int slot)
{
    return { QStringLiteral("D%1").arg(writeBase + slot), SimArea::D, writeBase + slot, DT_Int16, 1 };
}

short freshValue(int n)
{
    const int firstFree = PlcModel::filledRegisters + writeSlots;
    return short(PlcModel::distinctValue(firstFree + n % (0x10000 - firstFree), memorySeed));
}

struct Outcomes
{
    int reads = 0;
    int readOk = 0;
    int writes = 0;
    int writeOk = 0;
    int unusable = 0;     // status 7
    int noAnswer = 0;     // status 8
    int notConnected = 0; // status 9
    int reconnects = 0;
    int reconnectFailures = 0;
    int wrongValues = 0;  // status 0 with data the PLC does not hold
    int lateAnswers = 0;  // of those, while an earlier request of the same shape went unanswered
    int lostWrites = 0;   // writes reported good whose value the PLC does not hold
    int unexpected = 0;   // any other status

    void add(const Outcomes &o)
    {
        reads += o.reads; readOk += o.readOk; writes += o.writes; writeOk += o.writeOk;
        unusable += o.unusable; noAnswer += o.noAnswer; notConnected += o.notConnected;
        reconnects += o.reconnects; reconnectFailures += o.reconnectFailures;
        wrongValues += o.wrongValues; lateAnswers += o.lateAnswers; lostWrites += o.lostWrites;
        unexpected += o.unexpected;
    }

    bool mostCallsSucceed() const { return 3 * (readOk + writeOk) > reads + writes; }

    void print(const QString &what) const
    {
        qInfo("%s: %d reads (%d good), %d writes (%d good); failures reported: %d unusable "
              "answers, %d unanswered, %d not connected; %d reconnects (%d failed); "
              "%d wrong values reported as good (%d of them while an earlier request of their "
              "shape went unanswered), %d writes reported good the PLC does not hold; "
              "%d other statuses",
              qPrintable(what), reads, readOk, writes, writeOk, unusable, noAnswer, notConnected,
              reconnects, reconnectFailures, wrongValues, lateAnswers, lostWrites, unexpected);
    }
};

// What tells requests apart on the line: the command and the unit count.
// The answer names neither the area nor the address, so a late answer to one
// request passes for the answer to a later one of the same shape.
struct Shape
{
    char command; // '4' bit read, '6' register read, '7' register write
    int units;
    bool operator==(const Shape &other) const { return command == other.command && units == other.units; }
};

Shape readShape(const PolledLabel &label)
{
    const int bits = PlcModel::valueBits(label.type);
    if (SimAreas::isBitArea(label.area))
        return { '4', bits * label.count };
    return { '6', (bits * label.count + 15) / 16 };
}

const Shape writeShape { '7', 1 };

// True when the answer to a read of `other` taken for a read of `label`
// would not match what `label` must read as.
bool answerShows(const SimMemory &memory, const PolledLabel &label, const PolledLabel &other)
{
    PolledLabel taken = label;
    taken.area = other.area;
    taken.start = other.start;
    for (int k = 0; k < label.count; ++k) {
        if (PlcModel::expectedPattern(memory, label, k) != PlcModel::expectedPattern(memory, taken, k))
            return true;
    }
    return false;
}

// Every fault at its own random chance, new for each stretch of polls.
SimFaults randomFaults(QRandomGenerator &random)
{
    auto chance = [&] { return SimFaultRule::withChance(random.bounded(0.08)); };
    static const int delays[] = { 20, 150, 400, 900 };
    static const int pauses[] = { 2, 20, 80, 400 };
    static const char errors[] = { '1', '4', '9', 'F' };
    SimFaults faults;
    faults.delay = chance();
    faults.delayMs = delays[random.bounded(4)];
    faults.drop = chance();
    faults.badChecksum = chance();
    faults.error = chance();
    faults.errorCode = errors[random.bounded(4)];
    faults.split = chance();
    faults.splitPauseMs = pauses[random.bounded(4)];
    faults.close = chance();
    faults.seed = random.generate();
    return faults;
}

// What a stretch must show besides no wrong value reported as good.
enum class Expect { Nothing, MostCallsSucceed, SomeUnanswered };

// How the PLC answers for a share (weight) of a row's time.
struct Stretch
{
    QString name;
    SimFaults faults;
    int weight;
    Expect expect;
    bool randomFaults = false; // new random faults every 40 polls instead
};

enum Pace { RandomFaults, SlowAnswers, SlowAtTimes, LateAndLost, Duplicates };

// What happens to the link every linkEventEvery calls.
enum Links { OneLink, GatewayReconnects, Switches, VanishingLine };
constexpr int linkEventEvery = 8;

struct PaceOfAnswers
{
    QList<Stretch> stretches;
    bool mostCallsSucceed; // over the whole row
};

PaceOfAnswers paceOfAnswers(Pace pace)
{
    auto late = [](const char *name, SimFaultRule rule, int delayMs, int weight, Expect expect) {
        SimFaults faults;
        faults.delay = rule;
        faults.delayMs = delayMs;
        return Stretch { QString::fromLatin1(name), faults, weight, expect };
    };
    const SimFaultRule always = SimFaultRule::always();
    const Expect most = Expect::MostCallsSucceed;
    const Expect unanswered = Expect::SomeUnanswered;
    const Expect nothing = Expect::Nothing;
    switch (pace) {
    case RandomFaults:
        return { { { QStringLiteral("random faults"), SimFaults(), 1, nothing, true } }, true };
    case SlowAnswers: {
        // The driver waits about 0.36 s at first: later than that, calls
        // fail until the late answers it drops have taught it the line (up
        // to about 3 s). Answers keep their order, so once the PLC is prompt
        // again it still owes late answers.
        QList<Stretch> slow {
            late("every answer on time", always, 0, 1, most),
            late("every answer 100 ms late", always, 100, 1, most),
            late("every answer 700 ms late", always, 700, 3, unanswered),
            late("every answer 1500 ms late", always, 1500, 2, unanswered),
            // Well past what the 1500 ms answers taught (1.25 x their
            // lateness + 50 ms, about 2 s on a loaded machine), below the
            // 3 s the wait may grow to.
            late("every answer 2500 ms late", always, 2500, 2, unanswered),
            // By now the wait covers 700 ms: only the drops go unanswered.
            late("one answer in 2 700 ms late, one request in 10 dropped",
                 SimFaultRule::withChance(0.5), 700, 2, nothing),
            late("every answer on time again", always, 0, 3, most),
        };
        // A dropped write is not carried out: an acknowledgement taken for
        // its own shows as a write the PLC does not hold.
        slow[5].faults.drop = SimFaultRule::withChance(0.1);
        return { slow, false };
    }
    case LateAndLost: {
        // Late past the driver's time-out, or never answered: when the link
        // changes, answers are owed.
        QList<Stretch> owing { late("one answer in 3 600 ms late, one request in 10 dropped",
                                    SimFaultRule::withChance(0.33), 600, 1, unanswered) };
        owing[0].faults.drop = SimFaultRule::withChance(0.1);
        return { owing, false };
    }
    case Duplicates: {
        SimFaults twice;
        twice.dup = SimFaultRule::withChance(0.3);
        twice.dupPauseMs = 30;
        return { { { QStringLiteral("one answer in 3 sent twice"), twice, 1, nothing } }, true };
    }
    case SlowAtTimes:
        return { {
                     late("every 25th answer 2000 ms late", SimFaultRule::everyNth(25), 2000, 1, nothing),
                     late("every 8th answer 500 ms late", SimFaultRule::everyNth(8), 500, 1, nothing),
                     late("one answer in 20 1500 ms late", SimFaultRule::withChance(0.05), 1500, 1, nothing),
                     late("one answer in 10 250 ms late", SimFaultRule::withChance(0.1), 250, 1, nothing),
                 },
                 true };
    }
    return {};
}

// One call of the host: a write to a slot, a read-back of a slot or a poll
// of a label.
struct Call
{
    enum Kind { Write, ReadBack, Poll } kind;
    int index; // the slot or the label

    Shape shape() const
    {
        if (kind == Write)
            return writeShape;
        return readShape(kind == ReadBack ? slotLabel(index) : polledLabels[index]);
    }
    bool operator==(const Call &other) const { return kind == other.kind && index == other.index; }
};

// A host that polls labels, writes registers and reads them back through the
// driver, and tells every right outcome from a wrong one.
class SoakHost
{
public:
    SoakHost(SimServer &plc, const QString &link, const SimMemory &memory)
        : plc(&plc), link(link), memory(memory), driver(newDriver()), mayHold(writeSlots)
    {
        connectStatus = driver->ConnectDrive(link);
        for (int slot = 0; slot < writeSlots; ++slot) {
            mayHold[slot] = { short(memory.value(SimArea::D, writeBase + slot)) };
            calls.append({ Call::Write, slot });
            calls.append({ Call::ReadBack, slot });
        }
        for (int label = 0; label < int(std::size(polledLabels)); ++label)
            calls.append({ Call::Poll, label });
    }
    ~SoakHost() { deleteDriver(driver); }
    SoakHost(const SoakHost &) = delete;
    SoakHost &operator=(const SoakHost &) = delete;

    int connectStatus;

    // The host moves to another link (another PLC with the same memory, or
    // the same one over a new connection) while answers may be owed.
    void moveTo(SimServer &next, const QString &nextLink, Outcomes &outcomes)
    {
        plc = &next;
        link = nextLink;
        if (driver->ConnectDrive(link) == 0)
            ++outcomes.reconnects;
        else
            ++outcomes.reconnectFailures;
        ++outcomes.notConnected; // counted as a drop, so that reconnects match
    }
    SimServer &currentPlc() const { return *plc; }

    // One call: a write, a read-back or a poll, chosen at random. Half the
    // time it is another call of the shape of one of the last few: a call
    // a late answer to one of those could pass for.
    void step(QRandomGenerator &random, Outcomes &outcomes)
    {
        const int slot = random.bounded(writeSlots);
        const int action = random.bounded(20);
        Call call { Call::Poll, random.bounded(int(std::size(polledLabels))) };
        if (action < 2)
            call = { Call::Write, slot };
        else if (action < 4)
            call = { Call::ReadBack, slot };
        if (random.bounded(2) == 0) {
            const Call &earlier = recent.at(random.bounded(recent.size()));
            QVector<Call> alike;
            for (const Call &other : qAsConst(calls)) {
                if (other.shape() == earlier.shape() && !(other == earlier))
                    alike.append(other);
            }
            if (!alike.isEmpty())
                call = alike.at(random.bounded(alike.size()));
        }
        recent.removeFirst();
        recent.append(call);
        switch (call.kind) {
        case Call::Write: write(call.index, outcomes); break;
        case Call::ReadBack: readBack(call.index, outcomes); break;
        case Call::Poll: poll(polledLabels[call.index], outcomes); break;
        }
    }

private:
    void write(int slot, Outcomes &outcomes)
    {
        const short value = freshValue(writes++);
        CLabelVariable record;
        record.value = QVariant::fromValue(QList<short>{ value });
        const int status = driver->WriteVariable(slotLabel(slot).label, DT_Int16, record).status;
        ++outcomes.writes;
        // After a write reported as failed the PLC may or may not have
        // carried it out.
        if (status != 0) {
            mayHold[slot].append(value);
            failed(writeShape, status, outcomes);
            return;
        }
        ++outcomes.writeOk;
        // Whatever answer the driver took for the acknowledgement, the PLC
        // has carried out the write once it is reported good.
        const short held = short(plc->value(SimArea::D, writeBase + slot));
        if (held == value) {
            mayHold[slot] = { value };
            return;
        }
        ++outcomes.lostWrites;
        mayHold[slot].append(value);
        report(writeShape, QStringLiteral("write of %1 to %2 reported good, the PLC holds %3")
                               .arg(value).arg(slotLabel(slot).label).arg(held));
    }

    void readBack(int slot, Outcomes &outcomes)
    {
        const PolledLabel label = slotLabel(slot);
        const CLabelVariable result = driver->ReadVariable(label.label, DT_Int16);
        ++outcomes.reads;
        if (result.status != 0) {
            failed(readShape(label), result.status, outcomes);
            return;
        }
        ++outcomes.readOk;
        const QList<short> got = result.value.value<QList<short>>();
        if (got.size() == 1 && mayHold[slot].contains(got.first()))
            mayHold[slot] = { got.first() };
        else
            wrong(readShape(label), label.label + QStringLiteral(" read as %1").arg(got.value(0)), outcomes);
    }

    void poll(const PolledLabel &label, Outcomes &outcomes)
    {
        const CLabelVariable result = label.count == 1
            ? driver->ReadVariable(label.label, label.type)
            : driver->ReadVariable(label.label, label.type, label.count);
        ++outcomes.reads;
        if (result.status != 0) {
            failed(readShape(label), result.status, outcomes);
            return;
        }
        ++outcomes.readOk;
        QString why;
        if (!PlcModel::matches(result, memory, label, &why))
            wrong(readShape(label), label.label + QStringLiteral(": ") + why, outcomes);
    }

    void wrong(const Shape &shape, const QString &what, Outcomes &outcomes)
    {
        ++outcomes.wrongValues;
        if (unanswered.contains(shape))
            ++outcomes.lateAnswers;
        report(shape, QStringLiteral("wrong value reported as good: ") + what);
    }

    void report(const Shape &shape, const QString &what)
    {
        if (shown++ < 10)
            qWarning("%s%s", qPrintable(what),
                     unanswered.contains(shape) ? " (an earlier request of its shape went unanswered)" : "");
    }

    void failed(const Shape &shape, int status, Outcomes &outcomes)
    {
        switch (status) {
        case 7: ++outcomes.unusable; break;
        case 8: ++outcomes.noAnswer; break;
        case 9:
            // The link is gone: reconnect and carry on. A new connection
            // carries nothing of the old one.
            ++outcomes.notConnected;
            if (driver->ConnectDrive(link) == 0)
                ++outcomes.reconnects;
            else
                ++outcomes.reconnectFailures;
            if (plc->port() != 0 && !gateway) // TCP straight to the PLC
                unanswered.clear();
            return;
        default: ++outcomes.unexpected; return;
        }
        // Requests whose answer may still be on its way.
        unanswered.append(shape);
        if (unanswered.size() > 4)
            unanswered.removeFirst();
    }

public:
    bool gateway = false;

private:
    SimServer *plc;
    QString link;
    const SimMemory &memory;
    CDriveBaseClass *driver;
    QVector<QList<short>> mayHold; // what each written register may hold
    QList<Shape> unanswered;
    QVector<Call> calls; // every call the host makes
    QVector<Call> recent = QVector<Call>(3, Call { Call::Poll, 0 }); // the last ones, oldest first
    int writes = 0;
    int shown = 0;
};

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void soak_data();
    void soak();
    void lateAnswerOfAnEarlierRequest();
    void cleanupTestCase();

private:
    std::unique_ptr<QuietLinkMessages> quiet;
    SimMemory memory;
    Outcomes total;
    int seconds = 64;
    quint32 seed = 1;
};

void TestSoak::initTestCase()
{
    quiet.reset(new QuietLinkMessages);
    PlcModel::fillMemory(memory, memorySeed);
    for (int slot = 0; slot < writeSlots; ++slot)
        memory.setValue(SimArea::D, writeBase + slot,
                        PlcModel::distinctValue(PlcModel::filledRegisters + slot, memorySeed));
    seconds = soakSeconds();
    seed = quint32(envNumber("NORVO_SOAK_SEED", 1));

    // An answer taken for another request's is caught only when it reads
    // differently: so must every two labels the soak reads with one shape.
    QList<PolledLabel> labels(std::begin(polledLabels), std::end(polledLabels));
    for (int slot = 0; slot < writeSlots; ++slot)
        labels.append(slotLabel(slot));
    for (const PolledLabel &label : qAsConst(labels)) {
        for (const PolledLabel &other : qAsConst(labels)) {
            if (&label != &other && readShape(label) == readShape(other))
                QVERIFY2(answerShows(memory, label, other),
                         qPrintable(other.label + QStringLiteral("'s answer passes for ") + label.label));
        }
    }
}

void TestSoak::soak_data()
{
    // share: 32nds of the run
    addColumns<bool, int, int, int>("overTcp", "pace", "share", "links");
    QTest::newRow("tcp, random faults") << true << int(RandomFaults) << 9 << int(OneLink);
    QTest::newRow("pty, random faults") << false << int(RandomFaults) << 3 << int(OneLink);
    QTest::newRow("tcp, slow answers") << true << int(SlowAnswers) << 7 << int(OneLink);
    QTest::newRow("pty, slow answers") << false << int(SlowAnswers) << 7 << int(OneLink);
    QTest::newRow("tcp, slow at times") << true << int(SlowAtTimes) << 3 << int(OneLink);
    QTest::newRow("pty, slow at times") << false << int(SlowAtTimes) << 3 << int(OneLink);
    QTest::newRow("gateway, reconnects while answers are owed")
        << true << int(LateAndLost) << 4 << int(GatewayReconnects);
    QTest::newRow("tcp and pty, switches while answers are owed")
        << true << int(LateAndLost) << 4 << int(Switches);
    QTest::newRow("pty, a line that goes and comes back")
        << false << int(LateAndLost) << 3 << int(VanishingLine);
    QTest::newRow("tcp, duplicated answers") << true << int(Duplicates) << 3 << int(OneLink);
}

// A pty behind a symlink that stays while the pty behind it is replaced,
// as --pty-link does for a simulator that restarts.
struct StableLine
{
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("line")); }
    bool pointTo(const QString &pty) const
    {
        QFile::remove(path());
        return QFile::link(pty, path());
    }
};

void TestSoak::soak()
{
    QFETCH(bool, overTcp);
    QFETCH(int, pace);
    QFETCH(int, share);
    QFETCH(int, links);

    SimServer plc, other;
    plc.setMemory(memory);
    other.setMemory(memory);
    StableLine line;
    const bool started = links == GatewayReconnects ? plc.startGateway()
        : overTcp                                    ? plc.startTcp()
                                                     : plc.startPty() && line.pointTo(plc.ptyPath());
    QVERIFY2(started, qPrintable(plc.errorString()));
    if (links == Switches)
        QVERIFY2(other.startPty(), qPrintable(other.errorString()));
    const QString serialSettings = QStringLiteral(",115200,8,1,N");
    const QString link = overTcp ? QStringLiteral("127.0.0.1:%1").arg(plc.port())
                                 : line.path() + serialSettings;
    SoakHost host(plc, link, memory);
    host.gateway = links == GatewayReconnects;
    QCOMPARE(host.connectStatus, 0);
    QRandomGenerator random(seed + (overTcp ? 0 : 1000) + 100 * pace + 10000 * links);
    int linkEvents = 0;

    // The two PLCs of a switching host hold the same memory: what one was
    // written, the other gets, before the host moves.
    auto mirrorWrites = [&](SimServer &from, SimServer &to) {
        for (int slot = 0; slot < writeSlots; ++slot)
            to.setValue(SimArea::D, writeBase + slot, from.value(SimArea::D, writeBase + slot));
    };
    auto linkEvent = [&](Outcomes &outcomes) {
        ++linkEvents;
        switch (Links(links)) {
        case OneLink:
            break;
        case GatewayReconnects:
            // The host reconnects, or the gateway drops the connection.
            if (linkEvents % 2)
                host.moveTo(plc, link, outcomes);
            else
                plc.closeConnections();
            break;
        case Switches: {
            SimServer &from = host.currentPlc();
            SimServer &to = &from == &plc ? other : plc;
            mirrorWrites(from, to);
            host.moveTo(to, &to == &plc ? link : to.ptyPath() + serialSettings, outcomes);
            break;
        }
        case VanishingLine:
            // The simulator restarts on a new pty behind the same path.
            plc.stop();
            QVERIFY(plc.startPty() && line.pointTo(plc.ptyPath()));
            break;
        }
    };

    const PaceOfAnswers answers = paceOfAnswers(Pace(pace));
    int weights = 0;
    for (const Stretch &stretch : answers.stretches)
        weights += stretch.weight;
    const qint64 rowMs = qint64(seconds) * 1000 * share / 32;
    const QString linkName = overTcp ? QStringLiteral("tcp, ") : QStringLiteral("pty, ");

    QVector<Outcomes> seen;
    Outcomes row;
    for (const Stretch &stretch : answers.stretches) {
        Outcomes outcomes;
        plc.setFaults(stretch.faults);
        QElapsedTimer clock;
        clock.start();
        const qint64 stretchMs = rowMs * stretch.weight / weights;
        for (int poll = 0; clock.elapsed() < stretchMs; ++poll) {
            if (stretch.randomFaults && poll % 40 == 0) {
                plc.setFaults(randomFaults(random));
                plc.clearRequestLog();
            }
            host.step(random, outcomes);
            if (poll % linkEventEvery == linkEventEvery - 1)
                linkEvent(outcomes);
        }
        outcomes.print(linkName + stretch.name);
        seen.append(outcomes);
        row.add(outcomes);
    }
    total.add(row);

    for (int i = 0; i < seen.size(); ++i) {
        const Outcomes &o = seen.at(i);
        const Stretch &stretch = answers.stretches.at(i);
        const QByteArray where = (linkName + stretch.name).toUtf8();
        if (pace == Duplicates) {
            // Measured, not refused; the README gives the figures.
            QVERIFY2(o.wrongValues < o.readOk / 2, where + ": most reads wrong");
        } else {
            QVERIFY2(o.wrongValues == 0, where + ": wrong values reported as good");
            QVERIFY2(o.lostWrites == 0, where + ": writes reported good the PLC does not hold");
        }
        QVERIFY2(o.unexpected == 0, where + ": statuses a read or write never returns");
        // Every drop was followed by a reconnect that worked.
        QVERIFY2(o.reconnectFailures == 0 && o.reconnects == o.notConnected,
                 where + ": reconnects failed");
        if (stretch.expect == Expect::MostCallsSucceed)
            QVERIFY2(o.mostCallsSucceed(), where + ": most calls failed");
        // The PLC was too slow for the driver to wait for: the stretch
        // really tested late answers.
        if (stretch.expect == Expect::SomeUnanswered)
            QVERIFY2(o.noAnswer > 0, where + ": no request went unanswered");
    }
    // The faults must not have starved the run: most polls still succeed.
    if (answers.mostCallsSucceed)
        QVERIFY(row.mostCallsSucceed());
    // A run of any length over TCP with random faults saw drops.
    if (overTcp && pace == RandomFaults && row.reads + row.writes >= 200)
        QVERIFY(row.reconnects > 0);
}

// The answer to a request that timed out arrives while the next request of
// the same shape waits for its own, which never comes. The answer names no
// address, so only the driver's bookkeeping can tell it is not the one
// awaited: a read must not return the other label's data as good, and a
// write must not count the earlier write's acknowledgement as its own.
void TestSoak::lateAnswerOfAnEarlierRequest()
{
    SimScriptedPlc plc; // silent unless told otherwise
    plc.setResponder([](const QByteArray &) { return QByteArray(); });
    QVERIFY(plc.listenTcp());
    CDriveBaseClass *driver = newDriver();
    QCOMPARE(driver->ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(plc.tcpPort())), 0);

    // The late answer goes out as soon as the next exchange lets events run.
    auto sendDuringNextExchange = [&](const QByteArray &answer) {
        QTimer::singleShot(0, [&plc, answer] { plc.sendRaw(answer); });
    };

    QCOMPARE(driver->ReadVariable(QStringLiteral("D100"), DT_Int16, 2).status, 8);
    sendDuringNextExchange(SimFrame::frame("01460" + SimFrame::registerData({ 0x1111, 0x2222 })));
    const CLabelVariable read = driver->ReadVariable(QStringLiteral("D200"), DT_Int16, 2);
    QVERIFY2(read.status != 0, "D200 read as good with the values of D100");

    CLabelVariable record;
    record.value = QVariant::fromValue(QList<short>{ 5 });
    QCOMPARE(driver->WriteVariable(QStringLiteral("D300"), DT_Int16, record).status, 8);
    sendDuringNextExchange(SimFrame::frame("01470"));
    const CLabelVariable written = driver->WriteVariable(QStringLiteral("D301"), DT_Int16, record);
    QVERIFY2(written.status != 0, "a write the PLC never acknowledged reported as done");

    deleteDriver(driver);
}

void TestSoak::cleanupTestCase()
{
    total.print(QStringLiteral("soak, both links"));
}

// QtTest ends a test function after QTEST_FUNCTION_TIMEOUT ms (5 minutes
// unless set), and its watchdog can carry one row's deadline into the next:
// give the time-out the length of the whole soak and then some, so that a
// soak of any length runs to its end.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const qint64 neededMs = qMin<qint64>((2 * qint64(soakSeconds()) + 300) * 1000, INT_MAX);
    if (qEnvironmentVariableIntValue("QTEST_FUNCTION_TIMEOUT") < neededMs)
        qputenv("QTEST_FUNCTION_TIMEOUT", QByteArray::number(neededMs));
    TestSoak test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_soak.moc"
