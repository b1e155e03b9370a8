// SPDX-License-Identifier: LGPL-2.1-or-later
// Which requests the web guard lets through to a server on loopback: the
// page's own and a program's, never another site's nor a rebound name's.

#include "TestTable.h"
#include "WebGuard.h"

#include <QtTest/QtTest>

namespace {

// A null QString is a header the request does not have.
std::optional<std::string> header(const QString &value)
{
    return value.isNull() ? std::nullopt : std::optional<std::string>(value.toStdString());
}

const QString absent;

} // namespace

class TestWebGuard : public QObject
{
    Q_OBJECT

private slots:
    void decision_data();
    void decision();
};

void TestWebGuard::decision_data()
{
    // `refusal`: a part of the reason given; empty where the request passes.
    addColumns<QString, int, QString, QString, QString>("served", "port", "host", "origin", "refusal");
    const QString own = QStringLiteral("http://127.0.0.1:8080");
    const QString foreignHost = QStringLiteral("is not this server: ask for http://127.0.0.1:8080/");
    const QString foreignPage = QStringLiteral("may not use this server");

    // What the page and programs send.
    QTest::newRow("a program") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << absent << "";
    QTest::newRow("the page") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << own << "";
    QTest::newRow("localhost") << "127.0.0.1" << 8080 << "localhost:8080" << "http://localhost:8080" << "";
    QTest::newRow("localhost in capitals") << "127.0.0.1" << 8080 << "LocalHost:8080" << "http://LOCALHOST:8080" << "";
    QTest::newRow("IPv6") << "::1" << 8080 << "[::1]:8080" << "http://[::1]:8080" << "";
    QTest::newRow("IPv6 written out") << "::1" << 8080 << "[0:0:0:0:0:0:0:1]:8080" << "http://[::1]:8080" << "";
    QTest::newRow("localhost on IPv6") << "::1" << 8080 << "localhost:8080" << absent << "";
    QTest::newRow("port 80 left out") << "127.0.0.1" << 80 << "127.0.0.1" << "http://127.0.0.1" << "";
    QTest::newRow("every address, by number") << "0.0.0.0" << 8080 << "127.0.0.2:8080" << "http://127.0.0.2:8080" << "";
    QTest::newRow("every IPv6 address, localhost") << "::" << 8080 << "localhost:8080" << absent << "";

    // Who is not the page: a name rebound to loopback, another site.
    QTest::newRow("no Host") << "127.0.0.1" << 8080 << absent << absent << "no Host header";
    QTest::newRow("empty Host") << "127.0.0.1" << 8080 << "" << absent << foreignHost;
    QTest::newRow("rebound name") << "127.0.0.1" << 8080 << "rebound.invalid:8080" << "http://rebound.invalid:8080"
                                  << foreignHost;
    QTest::newRow("our address in a name") << "127.0.0.1" << 8080 << "127.0.0.1.rebound.invalid:8080" << absent
                                           << foreignHost;
    QTest::newRow("every address, by name") << "0.0.0.0" << 8080 << "plc.invalid:8080" << absent
                                            << "is not this server: ask for http://0.0.0.0:8080/";
    QTest::newRow("another port") << "127.0.0.1" << 8080 << "127.0.0.1:8081" << absent << foreignHost;
    QTest::newRow("port left out") << "127.0.0.1" << 8080 << "127.0.0.1" << absent << foreignHost;
    QTest::newRow("port not a number") << "127.0.0.1" << 8080 << "127.0.0.1:8080x" << absent << foreignHost;
    QTest::newRow("port beyond 65535") << "127.0.0.1" << 8080 << "127.0.0.1:73616" << absent << foreignHost;
    QTest::newRow("another loopback address") << "127.0.0.1" << 8080 << "127.0.0.2:8080" << absent << foreignHost;
    QTest::newRow("localhost, served elsewhere") << "127.0.0.2" << 8080 << "localhost:8080" << absent
                                                 << "ask for http://127.0.0.2:8080/";
    QTest::newRow("IPv6 without brackets") << "::1" << 8080 << "::1:8080" << absent
                                           << "is not this server: ask for http://[::1]:8080/";
    QTest::newRow("IPv6 served, IPv4 asked") << "::1" << 8080 << "127.0.0.1:8080" << absent << "ask for http://[::1]:8080/";
    QTest::newRow("another site") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << "http://attacker.invalid" << foreignPage;
    QTest::newRow("null origin") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << "null" << foreignPage;
    QTest::newRow("empty origin") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << "" << foreignPage;
    QTest::newRow("origin on another port") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << "http://127.0.0.1:8081"
                                            << foreignPage;
    QTest::newRow("origin over https") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << "https://127.0.0.1:8080"
                                       << foreignPage;
    QTest::newRow("origin with a path") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << own + "/" << foreignPage;
    QTest::newRow("origin under another name") << "127.0.0.1" << 8080 << "127.0.0.1:8080" << "http://localhost:8080"
                                               << foreignPage;
    QTest::newRow("every address, another's page") << "0.0.0.0" << 8080 << "127.0.0.1:8080" << "http://127.0.0.2:8080"
                                                   << foreignPage;
}

void TestWebGuard::decision()
{
    QFETCH(QString, served);
    QFETCH(int, port);
    QFETCH(QString, host);
    QFETCH(QString, origin);
    QFETCH(QString, refusal);

    const WebGuardVerdict verdict = webGuardCheck(served.toStdString(), port, header(host), header(origin));
    const QString reason = QString::fromStdString(verdict.reason);
    QCOMPARE(verdict.allowed, refusal.isEmpty());
    QVERIFY2(refusal.isEmpty() ? reason.isEmpty() : reason.contains(refusal), qPrintable(reason));
}

QTEST_GUILESS_MAIN(TestWebGuard)
#include "tst_webguard.moc"
