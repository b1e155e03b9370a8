// SPDX-License-Identifier: LGPL-2.1-or-later
// The test helpers themselves: the message capture. The scripted PLC is the
// simulator's, tested with it (tests/sim).
#include "MessageCapture.h"

#include <QtTest/QtTest>

class TestSupport : public QObject
{
    Q_OBJECT
private slots:
    void messageCapture();
};

void TestSupport::messageCapture()
{
    MessageCapture log;
    qDebug("one");
    qWarning("two");
    qDebug() << QStringLiteral("three");
    QCOMPARE(log.lines(QtDebugMsg), (QStringList{ "one", "\"three\"" }));
    QCOMPARE(log.lines(QtWarningMsg), QStringList{ "two" });
    log.clear();
    QCOMPARE(log.count(), 0);
}

QTEST_GUILESS_MAIN(TestSupport)
#include "tst_testsupport.moc"
