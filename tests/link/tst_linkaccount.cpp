// SPDX-License-Identifier: LGPL-2.1-or-later
// The link's account is a contract between the library, which writes it,
// and the tools, which read it: every event survives format() and parse(),
// and the lines people have been told about keep their words.
#include "LinkAccount.h"
#include "TestTable.h"

#include <QtTest/QtTest>

using LinkAccount::Event;
using LinkAccount::Kind;

Q_DECLARE_METATYPE(Event)

namespace {

Event made(Kind kind, const QByteArray &frame = QByteArray(), int ms = -1, int lateMs = -1)
{
    Event e;
    e.kind = kind;
    e.frame = frame;
    e.ms = ms;
    e.lateMs = lateMs;
    return e;
}

const QByteArray answer = QByteArray::fromHex("023031343630303030303030303630383503");

} // namespace

class TestLinkAccount : public QObject
{
    Q_OBJECT
private slots:
    void roundTrip_data();
    void roundTrip();
    void notTheAccount();
};

void TestLinkAccount::roundTrip_data()
{
    addColumns<Event, QString>("event", "line");
    Event refused = made(Kind::Refused, answer);
    refused.verdict = "plc-error 6";
    QTest::newRow("refused") << refused << QString("refused plc-error 6: " + answer.toHex());
    Event silent = made(Kind::Refused);
    silent.verdict = "no-answer";
    QTest::newRow("refused, nothing came") << silent << "refused no-answer: ";
    QTest::newRow("owed, late") << made(Kind::OwedDroppedLate, answer, 300, 510)
                                << QString("dropped owed answer, 510 ms after its request (the wait was 300 ms): " + answer.toHex());
    QTest::newRow("owed") << made(Kind::OwedDropped, answer) << QString("dropped owed answer: " + answer.toHex());
    QTest::newRow("owed, taken") << made(Kind::OwedTakenLate, answer, 300, 420) << QString();
    Event unowed = made(Kind::UnowedDropped, answer);
    unowed.station = "01";
    QTest::newRow("unowed") << unowed << QString("dropped unowed frame, station 01 out of step: " + answer.toHex());
    Event untold = made(Kind::UnownedUntold);
    untold.count = 59992;
    QTest::newRow("untold") << untold << "dropped 59992 more unowed frames";
    QTest::newRow("copy") << made(Kind::CopyDropped, answer, 15) << QString();
    QTest::newRow("stale") << made(Kind::StaleDropped, answer) << QString();
    QTest::newRow("broken") << made(Kind::BrokenDropped, QByteArray("\x02" "01", 3)) << QString();
    Event sync = made(Kind::Synchronising, QByteArray::fromHex("023031343430445830303030353703"));
    sync.station = "01";
    QTest::newRow("synchronising") << sync << QString();
    Event inStep = made(Kind::InStep);
    inStep.station = "0A";
    QTest::newRow("in step") << inStep << "in step with station 0A";
    Event still = inStep;
    still.kind = Kind::StillOutOfStep;
    QTest::newRow("still out of step") << still << "station 0A still out of step";
    QTest::newRow("wait learnt") << made(Kind::WaitLearnt, QByteArray(), 687, 510)
                                 << "answer wait now 687 ms: an answer came 510 ms after its request";
    QTest::newRow("repeats") << made(Kind::LineRepeats, QByteArray(), 37) << QString();
    Event opened = made(Kind::LinkOpened);
    opened.path = "tcp 127.0.0.1:500";
    QTest::newRow("opened") << opened << "link opened on tcp 127.0.0.1:500 out of step: its history is unknown";
    Event over = made(Kind::InputDropped);
    over.count = 4096;
    QTest::newRow("input dropped") << over << QString();
    Event request = made(Kind::FrameLine, QByteArray::fromHex("02303134363032523030313030373203"));
    request.verdict = QString::fromUtf8("lib[Norvo]读命令");
    request.path = "127.0.0.1:500";
    request.label = "R100";
    request.count = 2;
    QTest::newRow("request line") << request
        << QString::fromUtf8("lib[Norvo]读命令 127.0.0.1:500 Area=R100  len = 2 msg : 02303134363032523030313030373203");
    Event serialAnswer = made(Kind::FrameLine);
    serialAnswer.verdict = QString::fromUtf8("响应");
    serialAnswer.path = ":0";
    serialAnswer.label = "D5";
    serialAnswer.count = 1;
    QTest::newRow("answer line, serial, none came") << serialAnswer
                                                    << QString::fromUtf8("响应 :0 Area=D5  len = 1 msg : ");
}

void TestLinkAccount::roundTrip()
{
    QFETCH(Event, event);
    QFETCH(QString, line);

    const QString formatted = LinkAccount::format(event);
    if (!line.isEmpty())
        QCOMPARE(formatted, line);
    Event parsed;
    QVERIFY2(LinkAccount::parse(formatted, &parsed), qPrintable(formatted));
    QVERIFY(parsed == event);
    // Qt's message log drops a line's last blank.
    if (formatted.endsWith(QLatin1Char(' '))) {
        QVERIFY(LinkAccount::parse(formatted.chopped(1), &parsed));
        QVERIFY(parsed == event);
    }
}

void TestLinkAccount::notTheAccount()
{
    Event parsed;
    for (const char *line : { "", "refused", "dropped owed answer: 0g", "dropped owed answer: 023",
                              "station 1 still out of step", "answer wait now many ms: an answer came 5 ms after its request",
                              "lib[Norvo]127.0.0.1:500 Disconnected=1" })
        QVERIFY2(!LinkAccount::parse(QString::fromUtf8(line), &parsed), line);
}

QTEST_APPLESS_MAIN(TestLinkAccount)
#include "tst_linkaccount.moc"
