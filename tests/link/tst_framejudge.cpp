// SPDX-License-Identifier: LGPL-2.1-or-later
// What a frame is, decided without I/O: one row per case the exchange must
// tell apart. Answers are built from the PLC's side.
#include "AreaType.h"
#include "FrameJudge.h"
#include "OwedAnswers.h"
#include "RepeatGuard.h"
#include "TestTable.h"
#include "simframe.h"

#include <QtTest/QtTest>

namespace {

class FixedClock final : public LinkClock
{
public:
    qint64 nowMs() const override { return now; }
    qint64 now = 100;
};

NorvoRequest read(int element, int count = 1, int station = 1)
{
    return NorvoRequest(NorvoCommand::RegisterRead, station, QString::number(element).rightJustified(4, '0'),
                        count, NorvoArea::Area_D);
}

NorvoRequest bits(int element, int count)
{
    return NorvoRequest(NorvoCommand::BitRead, 1, QString::number(element).rightJustified(4, '0'), count,
                        NorvoArea::Area_WX);
}

// The PLC's answer: register n holds n, bits alternate.
QByteArray answerTo(const NorvoRequest &request, char error = '0')
{
    const SimRequest r = SimFrame::parseRequest(request.frame());
    QVector<quint16> data;
    for (int i = 0; i < r.count && error == '0'; ++i)
        data << quint16(r.isBitRead() ? (r.start + i) % 2 : r.start + i);
    return SimFrame::answer(r, error, r.isBitRead() ? SimFrame::bitData(data) : SimFrame::registerData(data));
}

using Kind = FrameJudgement::Kind;

} // namespace

class TestFrameJudge : public QObject
{
    Q_OBJECT
private slots:
    void judge_data();
    void judge();
};

void TestFrameJudge::judge_data()
{
    // before: what the ledger and guard saw; waiting: "R100", "sync", "none"
    // or "held"; frame: what arrives.
    addColumns<QString, QString, QByteArray, int, bool>("before", "waiting", "frame", "kind", "settles");

    const QByteArray r100 = answerTo(read(100));
    const QByteArray r200 = answerTo(read(200));
    QTest::newRow("its answer, all in step") << "" << "R100" << r100 << int(Kind::Answer) << true;
    QTest::newRow("its refusal, all in step") << "" << "R100" << answerTo(read(100), '6') << int(Kind::Answer) << true;
    // Same shape: an earlier read's answer comes first.
    QTest::newRow("an owed answer") << "owe R200" << "R100" << r200 << int(Kind::Owed) << false;
    QTest::newRow("damaged, ours") << "" << "R100" << SimFrame::withWrongChecksum(r100) << int(Kind::Damaged) << true;
    QTest::newRow("damaged, another length") << "" << "R100"
                                             << SimFrame::withWrongChecksum(answerTo(read(100, 2)))
                                             << int(Kind::Damaged) << false;
    QTest::newRow("another station's, owed by nothing") << "" << "R100" << answerTo(read(100, 1, 2))
                                                        << int(Kind::Stray) << false;
    QTest::newRow("a copy of an answer just seen") << "seen R200" << "R100"
                                                   << answerTo(bits(0, 3)) << int(Kind::Stray) << false;
    QTest::newRow("a copy, while another shape waits") << "seen bits" << "R100" << answerTo(bits(0, 3))
                                                       << int(Kind::Copy) << false;
    // A new link: anyone's answers may still come.
    QTest::newRow("history unknown") << "opened" << "R100" << r100 << int(Kind::Stale) << false;
    QTest::newRow("history unknown, the synchronising read's answer") << "opened" << "sync"
                                                                     << answerTo(bits(0, 13)) << int(Kind::Answer) << true;
    QTest::newRow("history unknown, the synchronising read refused") << "opened" << "sync"
                                                                    << answerTo(bits(0, 13), '6')
                                                                    << int(Kind::Answer) << false;
    QTest::newRow("between calls, owed") << "owe R200" << "none" << r200 << int(Kind::Owed) << false;
    QTest::newRow("between calls, owed by nothing") << "" << "none" << r200 << int(Kind::Stray) << false;
    QTest::newRow("between calls, broken") << "" << "none" << r200.left(6) + char(0x03) << int(Kind::Broken) << false;
    QTest::newRow("its copy, while it is held") << "seen R100" << "held" << r100 << int(Kind::Copy) << false;
}

void TestFrameJudge::judge()
{
    QFETCH(QString, before);
    QFETCH(QString, waiting);
    QFETCH(QByteArray, frame);
    QFETCH(int, kind);
    QFETCH(bool, settles);

    OwedAnswers owed;
    RepeatGuard guard;
    FixedClock clock;
    if (before == "owe R200")
        owed.owe(read(200).answerShape());
    else if (before == "opened")
        owed.linkOpened();
    else if (before == "seen R200")
        guard.seen(answerTo(read(200)), 90);
    else if (before == "seen bits")
        guard.seen(answerTo(bits(0, 3)), 85);
    else if (before == "seen R100")
        guard.seen(answerTo(read(100)), 90);

    const NorvoRequest request = waiting == "sync" ? bits(0, 13) : read(100);
    WaitingRequest w;
    w.request = &request;
    w.shape = request.answerShape();
    w.synchronising = waiting == "sync";
    w.holding = waiting == "held";
    const FrameJudgement judged = judgeFrame(frame.constData(), frame.size(), waiting == "none" ? nullptr : &w,
                                             owed, guard, clock);
    QCOMPARE(int(judged.kind), kind);
    if (kind == int(Kind::Answer) || kind == int(Kind::Damaged))
        QCOMPARE(judged.settles, settles);
    if (kind == int(Kind::Copy))
        QVERIFY(judged.copyDelayMs >= 10);
}

QTEST_APPLESS_MAIN(TestFrameJudge)
#include "tst_framejudge.moc"
