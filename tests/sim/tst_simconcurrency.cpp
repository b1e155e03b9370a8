// SPDX-License-Identifier: LGPL-2.1-or-later
// The HTTP threads and the PLC's thread at once: a driver reads and writes
// four registers over TCP while API clients write and read the same four
// and change the faults. No read may see half a write, and every request on
// both sides is served.
// Built in the sanitizer stage like every test. Under ThreadSanitizer:
//   cmake -S . -B build-tsan -DCMAKE_CXX_FLAGS=-fsanitize=thread
//         -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
//   cmake --build build-tsan --target tst_simconcurrency
//   TSAN_OPTIONS=suppressions=tests/sim/tsan.supp build-tsan/tests/sim/tst_simconcurrency

#include "simhttpserver.h"
#include "simserver.h"
#include "simframe.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <httplib.h>

#include <atomic>
#include <thread>

namespace {

constexpr int waitMs = 10000;          // generous: sanitizers make everything slow
constexpr int driverRequests = 1000;

// D0..D3 always hold one 16-bit number four times over.
QByteArray sameFourTimes(quint64 k)
{
    return QByteArray::number(k * Q_UINT64_C(0x0001000100010001));
}

} // namespace

class TestSimConcurrency : public QObject
{
    Q_OBJECT

private slots:
    void httpAndPlcThreadsTogether();
};

void TestSimConcurrency::httpAndPlcThreadsTogether()
{
    SimServer plc(1);
    QVERIFY(plc.startTcp());
    SimHttpServer http(&plc, SimLinkInfo{plc.listeningOn(), QString(), QString()});
    QString error;
    QVERIFY2(http.start(QHostAddress::LocalHost, 0, &error), qPrintable(error));

    std::atomic<bool> done{false};
    std::atomic<int> httpFailures{0};
    std::atomic<int> tornApiReads{0};
    std::atomic<int> httpCalls{0};

    // One client writes and reads the four registers through the API.
    std::thread memoryClient([&] {
        httplib::Client client("127.0.0.1", http.port());
        client.set_read_timeout(waitMs / 1000);
        for (quint64 k = 1; !done; k = k % 0x7FFF + 1) {
            const std::string body = "{\"type\":\"uint64\",\"values\":[\"" + sameFourTimes(k).toStdString() + "\"]}";
            const auto put = client.Put("/api/memory/D0", body, "application/json");
            const auto get = client.Get("/api/memory/D0?type=uint16&count=4");
            httpCalls += 2;
            if (!put || put->status != 200 || !get || get->status != 200) {
                ++httpFailures;
                continue;
            }
            const QJsonArray words = QJsonDocument::fromJson(QByteArray::fromStdString(get->body)).object().value("values").toArray();
            if (words.size() != 4 || words.at(0) != words.at(1) || words.at(0) != words.at(2) || words.at(0) != words.at(3))
                ++tornApiReads;
        }
    });
    // Another switches faults that still let every answer through, and
    // reads the log and the status.
    std::thread faultClient([&] {
        httplib::Client client("127.0.0.1", http.port());
        client.set_read_timeout(waitMs / 1000);
        for (int round = 0; !done; ++round) {
            const std::string fault = round % 2 ? "{\"kind\":\"split\",\"ms\":0}" : "{\"kind\":\"delay\",\"ms\":1,\"chance\":0.5}";
            const auto results = {client.Post("/api/faults", fault, "application/json"),
                                  client.Get("/api/log?since=0"), client.Get("/api/status"),
                                  client.Delete("/api/faults")};
            for (const auto &result : results) {
                ++httpCalls;
                if (!result || result->status != 200)
                    ++httpFailures;
            }
        }
    });

    // The driver's side: reads and writes of the same four registers.
    QTcpSocket driver;
    driver.connectToHost(QHostAddress::LocalHost, plc.port());
    QVERIFY(driver.waitForConnected(waitMs));
    int unanswered = 0;
    int tornFrameReads = 0;
    for (int i = 0; i < driverRequests; ++i) {
        const bool read = i % 2 == 0;
        const QByteArray word = QByteArray::number(i, 16).toUpper().rightJustified(4, '0');
        driver.write(read ? SimFrame::frame("014604D00000") : SimFrame::frame("014704D00000" + word + word + word + word));
        QByteArray answer;
        QDeadlineTimer deadline(waitMs);
        while (!answer.endsWith('\x03') && !deadline.hasExpired() && driver.waitForReadyRead(int(deadline.remainingTime())))
            answer += driver.readAll();
        if (!answer.endsWith('\x03')) {
            ++unanswered;
            continue;
        }
        if (read) {
            const QByteArray data = answer.mid(6, 16);
            if (data.size() != 16 || data.mid(0, 4) != data.mid(4, 4) || data.mid(0, 4) != data.mid(8, 4)
                    || data.mid(0, 4) != data.mid(12, 4))
                ++tornFrameReads;
        }
    }
    done = true;
    memoryClient.join();
    faultClient.join();

    QCOMPARE(unanswered, 0);
    QCOMPARE(tornFrameReads, 0);
    QCOMPARE(tornApiReads.load(), 0);
    QCOMPARE(httpFailures.load(), 0);
    QVERIFY(httpCalls.load() > 0);
    QCOMPARE(plc.requestEntries().size(), driverRequests);
}

QTEST_GUILESS_MAIN(TestSimConcurrency)
#include "tst_simconcurrency.moc"
