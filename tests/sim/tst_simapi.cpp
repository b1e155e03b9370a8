// SPDX-License-Identifier: LGPL-2.1-or-later
// The REST API end to end: HTTP requests to the simulator's own server,
// answers checked as JSON, and every bad request refused without a change;
// the log of every change, generators, memory files at run time, and what
// the HTTP layer does with bodiless requests and ports in use.

#include "simhttpserver.h"
#include "simlabel.h"
#include "simmemoryfile.h"
#include "simserver.h"
#include "simframe.h"

#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtNetwork/QTcpSocket>
#include <QtTest/QtTest>

#include <httplib.h>

#include <algorithm>

namespace {

constexpr int waitMs = 5000;   // generous: the machine is small and shared

struct Answer {
    int status = 0;
    QJsonObject object;
};

QJsonArray jsonArray(const char *text)
{
    return QJsonDocument::fromJson(QByteArray("[") + text + "]").array().at(0).toArray();
}

} // namespace

class TestSimApi : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void memoryRoundTrips_data();
    void memoryRoundTrips();
    void badRequestsChangeNothing_data();
    void badRequestsChangeNothing();
    void httpRefusalsAreJson_data();
    void httpRefusalsAreJson();
    void logFaultsAndLinks();
    void logSaysWhoChangedWhat();
    void generatorsMoveAndStopOnWrite();
    void memoryFileAtRunTime();
    void memoryTellsDeclaredTypes();
    void requestsWithoutBodyAndPortsInUse();
    void servesThePage();

private:
    Answer call(const QByteArray &method, const QByteArray &path, const QByteArray &body = QByteArray(),
                const char *origin = nullptr);
    QJsonArray logEntries(const QByteArray &query = "since=0");
    QString state() const;

    SimServer *plc = nullptr;
    SimHttpServer *http = nullptr;
};

void TestSimApi::init()
{
    plc = new SimServer(1);
    plc->setStations({1, 2});
    QVERIFY(plc->startTcp());
    http = new SimHttpServer(plc, SimLinkInfo{plc->listeningOn(), QString(), QString()});
    QString error;
    QVERIFY2(http->start(QHostAddress::LocalHost, 0, &error), qPrintable(error));
    QVERIFY(http->listeningOn().startsWith(QLatin1String("http 127.0.0.1:")));
}

void TestSimApi::cleanup()
{
    delete http;
    delete plc;
}

Answer TestSimApi::call(const QByteArray &method, const QByteArray &path, const QByteArray &body, const char *origin)
{
    httplib::Client client("127.0.0.1", http->port());
    client.set_read_timeout(waitMs / 1000);
    if (origin)
        client.set_default_headers({{"X-Norvo-Origin", origin}});
    const std::string target = path.toStdString();
    const std::string content = body.toStdString();
    auto send = [&]() {
        if (method == "GET")
            return client.Get(target.c_str());
        if (method == "PUT")
            return client.Put(target.c_str(), content, "application/json");
        if (method == "POST")
            return client.Post(target.c_str(), content, "application/json");
        if (method == "PATCH")
            return client.Patch(target.c_str(), content, "application/json");
        return client.Delete(target.c_str(), content, "application/json");
    };
    const httplib::Result result = send();
    Answer answer;
    if (!result)
        return answer;
    answer.status = result->status;
    answer.object = QJsonDocument::fromJson(QByteArray::fromStdString(result->body)).object();
    return answer;
}

QJsonArray TestSimApi::logEntries(const QByteArray &query)
{
    return call("GET", "/api/log?" + query).object.value("entries").toArray();
}

// Everything a bad request must leave alone.
QString TestSimApi::state() const
{
    const SimFaults faults = plc->faults();
    return SimMemoryFile::dump(plc->memory(1), 1) + SimMemoryFile::dump(plc->memory(2), 2)
            + QStringLiteral("drop %1 %2 delay %3").arg(faults.drop.every).arg(faults.drop.chance).arg(faults.delayMs);
}

void TestSimApi::memoryRoundTrips_data()
{
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("put");
    QTest::addColumn<QString>("got");
    QTest::addColumn<quint16>("firstWord");   // the first register or word as the PLC holds it

    QTest::newRow("int16") << "D100" << "int16" << "[-5, \"0x7FFF\"]" << "[-5,32767]" << quint16(0xFFFB);
    QTest::newRow("int32") << "D200" << "int32" << "[100000, -1]" << "[100000,-1]" << quint16(0x86A0);
    QTest::newRow("float") << "D300" << "FLOAT" << "[3.25, \"nan\", \"-inf\"]" << "[3.25,\"nan\",\"-inf\"]" << quint16(0);
    QTest::newRow("uint64 as text") << "D400" << "uint64" << "[\"18446744073709551615\", 5]"
                                    << "[\"18446744073709551615\",5]" << quint16(0xFFFF);
    QTest::newRow("int64 lowest") << "D500" << "int64" << "[\"-9223372036854775808\"]"
                                  << "[\"-9223372036854775808\"]" << quint16(0);
    QTest::newRow("double") << "D600" << "double" << "[1e300, -0.5]" << "[1e+300,-0.5]" << quint16(0x759C);
    QTest::newRow("bits") << "X17" << "bool" << "[true, 0, \"on\"]" << "[true,false,true]" << quint16(0x0005);
    QTest::newRow("word over bits") << "M16" << "uint16" << "[\"0xA5A5\"]" << "[42405]" << quint16(0xA5A5);
    QTest::newRow("timer uint8") << "TMR5" << "uint8" << "[1, 255]" << "[1,255]" << quint16(0x01FF);
    QTest::newRow("counter int8") << "CTR12" << "int8" << "[-128, 127]" << "[-128,127]" << quint16(0x807F);
    QTest::newRow("register uint32") << "HR8" << "uint32" << "[4294967295]" << "[4294967295]" << quint16(0xFFFF);
    // Texts as norvo's command line writes them.
    QTest::newRow("signed text") << "D700" << "int16" << "[\"+5\"]" << "[5]" << quint16(5);
    QTest::newRow("infinity") << "D800" << "float" << "[\"+1.5\", \"-infinity\"]" << "[1.5,\"-inf\"]" << quint16(0);
}

void TestSimApi::memoryRoundTrips()
{
    QFETCH(QString, label);
    QFETCH(QString, type);
    QFETCH(QString, put);
    QFETCH(QString, got);
    QFETCH(quint16, firstWord);

    const QByteArray body = QStringLiteral("{\"type\":\"%1\",\"values\":%2}").arg(type, put).toUtf8();
    const Answer written = call("PUT", "/api/memory/" + label.toUtf8(), body);
    QCOMPARE(written.status, 200);
    const QJsonArray expected = jsonArray(got.toUtf8().constData());
    QCOMPARE(written.object.value("values").toArray(), expected);
    QCOMPARE(written.object.value("label").toString(), label);
    QCOMPARE(written.object.value("type").toString(), type.toLower());

    const Answer read = call("GET", QStringLiteral("/api/memory/%1?count=%2&type=%3").arg(label).arg(expected.size()).arg(type).toUtf8());
    QCOMPARE(read.status, 200);
    QCOMPARE(read.object, written.object);

    QString unused;
    const SimLabel where = SimLabel::parse(label, &unused);
    const SimArea words = SimAreas::isBitArea(where.area) ? SimAreas::wordAreaOf(where.area) : where.area;
    QCOMPARE(plc->memory().value(words, where.element), firstWord);
    QCOMPARE(plc->memory(2).readRun(words, where.element, 1), QVector<quint16>{0});   // station 2 untouched
}

void TestSimApi::badRequestsChangeNothing_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("saying");

    const QByteArray d1 = "/api/memory/D1";
    QTest::newRow("unknown label") << QByteArray("GET") << QByteArray("/api/memory/Q5") << QByteArray() << "unknown label";
    QTest::newRow("older word name") << QByteArray("GET") << QByteArray("/api/memory/WX0") << QByteArray() << "unknown label";
    QTest::newRow("label without number") << QByteArray("PUT") << QByteArray("/api/memory/D") << QByteArray("{\"type\":\"int16\",\"values\":[1]}") << "unknown label";
    QTest::newRow("unknown type") << QByteArray("GET") << QByteArray("/api/memory/D1?type=word") << QByteArray() << "unknown type";
    QTest::newRow("count zero") << QByteArray("GET") << QByteArray("/api/memory/D1?count=0") << QByteArray() << "count";
    QTest::newRow("past 9999") << QByteArray("GET") << QByteArray("/api/memory/D9999?type=int32") << QByteArray() << "past element 9999";
    QTest::newRow("station not simulated") << QByteArray("GET") << QByteArray("/api/memory/D1?station=3") << QByteArray() << "station 3";
    QTest::newRow("out of range") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"int16\",\"values\":[1, 32768]}") << "out of range for int16";
    QTest::newRow("not whole") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"int32\",\"values\":[1.5]}") << "whole numbers";
    QTest::newRow("float too large") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"float\",\"values\":[1e39]}") << "out of range for float";
    QTest::newRow("wrong value type") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"int16\",\"values\":[7, {\"a\":1}]}") << "wrong type";
    QTest::newRow("bool for a number") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"uint8\",\"values\":[true, 1]}") << "wrong type";
    QTest::newRow("text not a number") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"int16\",\"values\":[\"ten\"]}") << "\"ten\" is not a number";
    QTest::newRow("malformed JSON") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"int16\",\"values\":[1") << "malformed JSON";
    QTest::newRow("not an object") << QByteArray("PUT") << d1 << QByteArray("[1]") << "JSON object";
    QTest::newRow("no values") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"int16\"}") << "\"values\"";
    QTest::newRow("unknown field") << QByteArray("PUT") << d1 << QByteArray("{\"typ\":\"int16\",\"values\":[1]}") << "unknown field";
    QTest::newRow("put past 9999") << QByteArray("PUT") << QByteArray("/api/memory/D9998") << QByteArray("{\"type\":\"uint16\",\"values\":[1,2,3]}") << "past element 9999";
    QTest::newRow("put station") << QByteArray("PUT") << d1 << QByteArray("{\"type\":\"uint16\",\"values\":[1],\"station\":7}") << "station 7";
    QTest::newRow("put without type") << QByteArray("PUT") << d1 << QByteArray("{\"values\":[1]}") << "\"type\" is missing";
    QTest::newRow("unknown query parameter") << QByteArray("GET") << QByteArray("/api/memory/D1?cont=2") << QByteArray() << "unknown query parameter \"cont\"";
    QTest::newRow("query where none is taken") << QByteArray("DELETE") << QByteArray("/api/faults?kind=drop") << QByteArray() << "takes none";
    QTest::newRow("bad file line") << QByteArray("PUT") << QByteArray("/api/memory-file?name=plc.txt") << QByteArray("D1 = 2\n@9 D1 = 1\n") << "plc.txt:2: station 9";
    QTest::newRow("bad generator") << QByteArray("POST") << QByteArray("/api/generators") << QByteArray("{\"label\":\"D1\",\"generator\":\"sine(1)\"}") << "sine(LOW, HIGH, PERIOD)";
    QTest::newRow("declared not 0 or 1") << QByteArray("GET") << QByteArray("/api/memory/D0?declared=yes") << QByteArray()
                                         << "declared takes 0 or 1";
    QTest::newRow("generator outside its type") << QByteArray("POST") << QByteArray("/api/generators")
            << QByteArray("{\"label\":\"D0\",\"type\":\"int16\",\"generator\":\"ramp(32000, 100000, 500, 10ms)\"}")
            << "END \"100000\" is out of range for int16";
    QTest::newRow("stop no generator") << QByteArray("DELETE") << QByteArray("/api/generators/D1") << QByteArray() << "no generator on D1";
    QTest::newRow("log filter") << QByteArray("GET") << QByteArray("/api/log?failed=yes") << QByteArray() << "failed takes 0 or 1";
    QTest::newRow("unknown fault") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"drip\"}") << "unknown fault";
    QTest::newRow("fault malformed") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{kind:drop}") << "malformed JSON";
    QTest::newRow("fault every 0") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"drop\",\"every\":0}") << "every";
    QTest::newRow("fault chance") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"drop\",\"chance\":2}") << "chance";
    QTest::newRow("fault misspelt") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"drop\",\"evry\":2}") << "\"evry\"";
    QTest::newRow("delay without ms") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"delay\"}") << "\"ms\"";
    QTest::newRow("error code") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"error\",\"code\":\"0\"}") << "code";
    QTest::newRow("dup takes no code") << QByteArray("POST") << QByteArray("/api/faults") << QByteArray("{\"kind\":\"dup\",\"code\":\"1\"}") << "\"code\"";
    QTest::newRow("clear unknown fault") << QByteArray("DELETE") << QByteArray("/api/faults/drip") << QByteArray() << "unknown fault";
    QTest::newRow("log since") << QByteArray("GET") << QByteArray("/api/log?since=-1") << QByteArray() << "since";
}

void TestSimApi::badRequestsChangeNothing()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(QString, saying);

    plc->setValue(SimArea::D, 1, 0x1234);
    SimFaults faults;
    faults.drop = SimFaultRule::everyNth(4);
    plc->setFaults(faults);
    const QString before = state();

    const Answer answer = call(method, path, body);
    QCOMPARE(answer.status, 400);
    const QString error = answer.object.value("error").toString();
    QVERIFY2(error.contains(saying), qPrintable(error));
    QCOMPARE(state(), before);
}

// Refusals the HTTP layer makes before any route runs are JSON too.
void TestSimApi::httpRefusalsAreJson_data()
{
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::newRow("no such page") << QByteArray("GET") << QByteArray("/nothing") << QByteArray() << 404;
    QTest::newRow("too large") << QByteArray("PUT") << QByteArray("/api/memory/D1") << QByteArray(2 << 20, ' ') << 413;
    QTest::newRow("PATCH like any wrong method") << QByteArray("PATCH") << QByteArray("/api/memory/D1") << QByteArray("{}") << 405;
}

void TestSimApi::httpRefusalsAreJson()
{
    QFETCH(QByteArray, method);
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, body);
    QFETCH(int, status);
    const Answer answer = call(method, path, body);
    QCOMPARE(answer.status, status);
    QVERIFY(!answer.object.value("error").toString().isEmpty());
}

void TestSimApi::logFaultsAndLinks()
{
    plc->setValue(SimArea::D, 100, 0x0042);
    QTcpSocket driver;
    driver.connectToHost(QHostAddress::LocalHost, plc->port());
    QVERIFY(driver.waitForConnected(waitMs));
    auto exchange = [&driver](const QByteArray &frame, int ms) {
        driver.write(frame);
        driver.waitForBytesWritten(waitMs);
        QByteArray answer;
        while (!answer.endsWith('\x03') && driver.waitForReadyRead(ms))
            answer += driver.readAll();
        return answer;
    };
    QCOMPARE(exchange(SimFrame::frame("014601D00100"), waitMs), SimFrame::frame("01460" "0042"));

    // A fault switched on at run time applies to the next request.
    Answer answer = call("POST", "/api/faults", "{\"kind\":\"drop\",\"every\":1}");
    QCOMPARE(answer.status, 200);
    const QJsonArray faults = answer.object.value("faults").toArray();
    QCOMPARE(faults.size(), 1);
    QCOMPARE(faults.at(0).toObject().value("kind").toString(), QStringLiteral("drop"));
    QCOMPARE(call("GET", "/api/faults").object, answer.object);
    QVERIFY(exchange(SimFrame::frame("024602D00007"), 300).isEmpty());
    QCOMPARE(call("DELETE", "/api/faults/drop").object.value("faults").toArray().size(), 0);
    QVERIFY(call("POST", "/api/faults", "{\"kind\":\"error\",\"code\":\"b\",\"chance\":0.5}").status == 200);
    QCOMPARE(plc->faults().errorCode, 'B');
    answer = call("POST", "/api/faults", "{\"kind\":\"dup\",\"ms\":5}");
    QCOMPARE(answer.object.value("faults").toArray().at(1).toObject().value("ms").toInt(), 5);
    QCOMPARE(plc->faults().dupPauseMs, 5);
    QCOMPARE(call("DELETE", "/api/faults").object.value("faults").toArray().size(), 0);
    QVERIFY(!plc->faults().error.isActive());

    answer = call("GET", "/api/log?since=0");
    QCOMPARE(answer.status, 200);
    QJsonArray entries;
    for (const QJsonValue &entry : answer.object.value("entries").toArray()) {
        if (!entry.toObject().value("outcome").toString().isEmpty())
            entries.append(entry);
    }
    QCOMPARE(entries.size(), 2);
    const QJsonObject second = entries.at(1).toObject();
    QCOMPARE(second.value("origin").toString(), QStringLiteral("link"));
    QCOMPARE(second.value("station").toInt(), 2);
    QCOMPARE(second.value("command").toString(), QStringLiteral("read"));
    QCOMPARE(second.value("label").toString(), QStringLiteral("D7"));
    QCOMPARE(second.value("count").toInt(), 2);
    QCOMPARE(second.value("outcome").toString(), QStringLiteral("no answer (drop fault)"));
    QVERIFY(second.value("failed").toBool());
    QVERIFY(QDateTime::fromString(second.value("time").toString(), Qt::ISODateWithMs).isValid());
    QCOMPARE(entries.at(0).toObject().value("outcome").toString(), QStringLiteral("answered"));
    const QByteArray afterFirst = QByteArray::number(entries.at(0).toObject().value("sequence").toInt());
    QCOMPARE(logEntries("since=" + afterFirst + "&failed=1").size(), 1);
    const double last = answer.object.value("last").toDouble();
    QCOMPARE(call("GET", "/api/log?since=" + QByteArray::number(last)).object.value("entries").toArray().size(), 0);

    // Dropping the links closes the driver's connection; the PLC listens on.
    QCOMPARE(call("POST", "/api/links/drop").object.value("dropped").toInt(), 1);
    QVERIFY(driver.state() == QAbstractSocket::UnconnectedState || driver.waitForDisconnected(waitMs));

    answer = call("GET", "/api/status");
    QCOMPARE(answer.object.value("stations").toArray(), (QJsonArray{1, 2}));
    QCOMPARE(answer.object.value("link").toString(), plc->listeningOn());
    QCOMPARE(call("GET", "/api/nothing").status, 404);
    QCOMPARE(call("DELETE", "/api/log").status, 405);
}

// Every change is logged with where it came from and what it changed, and
// the driver's synchronising read after a failure is marked.
void TestSimApi::logSaysWhoChangedWhat()
{
    QTcpSocket driver;
    driver.connectToHost(QHostAddress::LocalHost, plc->port());
    QVERIFY(driver.waitForConnected(waitMs));
    const QString peer = driver.localAddress().toString() + QLatin1Char(':') + QString::number(driver.localPort());
    // The PLC's thread takes the connection in when it gets to it.
    QTRY_COMPARE_WITH_TIMEOUT(logEntries().size(), 1, waitMs);
    QCOMPARE(call("PUT", "/api/memory/D5", "{\"type\":\"int32\",\"values\":[70000]}", "page").status, 200);
    QCOMPARE(call("POST", "/api/faults", "{\"kind\":\"drop\",\"every\":2}").status, 200);
    QCOMPARE(call("POST", "/api/generators", "{\"label\":\"D6\",\"generator\":\"scan()\"}").status, 200);
    auto send = [&driver](const QByteArray &text) {
        driver.write(SimFrame::frame(text));
        QVERIFY(driver.waitForBytesWritten(waitMs));
    };
    send("014702D000050001FFFF");   // a write, answered
    send("014601D00100");           // dropped: the second request
    send("014601D00000");           // the driver's synchronising read
    QTRY_COMPARE_WITH_TIMEOUT(logEntries("failed=1").size(), 1, waitMs);
    QTRY_VERIFY_WITH_TIMEOUT(logEntries("label=D0").size() == 1, waitMs);
    driver.write(QByteArray("\x02" "ZZ\x1B\\" "\x03"));   // names no station
    QTRY_COMPARE_WITH_TIMEOUT(logEntries("failed=1").size(), 2, waitMs);
    driver.disconnectFromHost();
    QTRY_COMPARE_WITH_TIMEOUT(logEntries().last().toObject().value("command").toString(), QStringLiteral("connection closed"),
                              waitMs);

    QStringList lines;
    for (const QJsonValue &value : logEntries()) {
        const QJsonObject entry = value.toObject();
        lines << QStringLiteral("%1 %2 %3 %4 %5").arg(entry.value("origin").toString(), entry.value("command").toString(),
                                                      entry.value("label").toString(), entry.value("detail").toString(),
                                                      entry.value("synchronising").toBool() ? QStringLiteral("sync") : QString());
    }
    const QStringList expected{
        QStringLiteral("link connection opened  %1 ").arg(peer),
        QStringLiteral("page write D5 int32 70000 "),
        QStringLiteral("api fault on  drop every 2 "),
        QStringLiteral("api generator started D6 scan() "),
        QStringLiteral("link write D5 0x0001 0xFFFF "),
        QStringLiteral("link generator stopped D6 scan(), written by the link "),
        QStringLiteral("link read D100  "),
        QStringLiteral("link read D0  sync"),
        QStringLiteral("link bytes  \\x02ZZ\\x1B\\\\\\x03 "),
        QStringLiteral("link connection closed  %1 ").arg(peer),
    };
    QCOMPARE(lines, expected);
    const QList<SimLogEntry> requests = plc->logEntries(0);
    const auto garbage = std::find_if(requests.begin(), requests.end(),
                                      [](const SimLogEntry &entry) { return entry.command == QLatin1String("bytes"); });
    QVERIFY(garbage != requests.end());
    QCOMPARE(garbage->text().mid(13), QStringLiteral("received \"\\x02ZZ\\x1B\\\\\\x03\": ignored, not a request: "
                                                     "the station number must be two hex digits, not \"ZZ\""));

    // Filters, and the same as CSV.
    QCOMPARE(logEntries("station=2").size(), 0);
    QCOMPARE(logEntries("label=d5").size(), 2);
    httplib::Client client("127.0.0.1", http->port());
    const httplib::Result csv = client.Get("/api/log.csv?failed=1");
    QVERIFY(csv);
    QVERIFY(csv->get_header_value("Content-Type").find("text/csv") == 0);
    const QStringList rows = QString::fromStdString(csv->body).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), 3);   // the header, the dropped read, the bytes
    QVERIFY(rows.at(0).startsWith(QLatin1String("sequence,time,origin,station,command,label,count,outcome")));
    QVERIFY2(rows.at(1).contains(QLatin1String(",link,1,read,D100,1,no answer (drop fault),")), qPrintable(rows.at(1)));
}

void TestSimApi::generatorsMoveAndStopOnWrite()
{
    Answer answer = call("POST", "/api/generators", "{\"label\":\"D10\",\"type\":\"int16\",\"station\":2,"
                                                    "\"generator\":\"ramp(1, 30000, 1, 20ms)\"}");
    QCOMPARE(answer.status, 200);
    const QJsonObject generator = answer.object.value("generators").toArray().at(0).toObject();
    QCOMPARE(generator.value("generator").toString(), QStringLiteral("ramp(1, 30000, 1, 20ms)"));
    QCOMPARE(generator.value("area").toString(), QStringLiteral("D"));
    auto d10 = [this] { return call("GET", "/api/memory/D10?type=int16&station=2").object.value("values").toArray().at(0).toInt(); };
    const int first = d10();
    QTRY_VERIFY_WITH_TIMEOUT(d10() > first, waitMs);
    QCOMPARE(plc->memory(1).value(SimArea::D, 10), quint16(0));

    // A write stops it, and the log says so.
    QCOMPARE(call("PUT", "/api/memory/D10?station=2", "{\"type\":\"int16\",\"values\":[-7]}").status, 200);
    QCOMPARE(call("GET", "/api/generators").object.value("generators").toArray().size(), 0);
    QTest::qWait(100);
    QCOMPARE(d10(), -7);
    const QJsonObject stopped = logEntries("label=D10").at(1).toObject();
    QCOMPARE(stopped.value("command").toString(), QStringLiteral("generator stopped"));
    QCOMPARE(stopped.value("detail").toString(), QStringLiteral("ramp(1, 30000, 1, 20ms), written by the api"));

    QCOMPARE(call("POST", "/api/generators", "{\"label\":\"Y0\",\"generator\":\"toggle(1s)\"}").status, 200);
    QCOMPARE(call("DELETE", "/api/generators").object.value("generators").toArray().size(), 0);
}

// A memory file replaces the memory while the PLC runs; the dump gives it
// back with its types and generators.
void TestSimApi::memoryFileAtRunTime()
{
    plc->setValue(SimArea::D, 1, 0x1234);
    const QByteArray file = "D300:float = 3.25\n@2 D0:uint32 = counter(1s)\nX3 = 1\n";
    const Answer loaded = call("PUT", "/api/memory-file?name=machine.txt", file, "page");
    QCOMPARE(loaded.status, 200);
    QCOMPARE(plc->memory(1).value(SimArea::D, 1), quint16(0));
    httplib::Client client("127.0.0.1", http->port());
    const httplib::Result dump = client.Get("/api/memory-file");
    QVERIFY(dump);
    QVERIFY(dump->get_header_value("Content-Disposition").find("attachment") == 0);
    QCOMPARE(QString::fromStdString(dump->body),
             QStringLiteral("@1 D300:float = 3.25\n@1 X3 = 1\n@2 D0:uint32 = counter(1s)\n"));
    QCOMPARE(logEntries().last().toObject().value("detail").toString(),
             QStringLiteral("machine.txt: 3 line(s), 1 generator(s)"));

    // A generator on a typed value takes its line over.
    QCOMPARE(call("POST", "/api/generators", "{\"label\":\"D300\",\"type\":\"float\",\"generator\":\"sine(0, 1, 1s)\"}").status, 200);
    QCOMPARE(QString::fromStdString(client.Get("/api/memory-file")->body),
             QStringLiteral("@1 D300:float = sine(0, 1, 1s)\n@1 X3 = 1\n@2 D0:uint32 = counter(1s)\n"));
}

// With declared=1 a memory answer lists the values the memory file, the API
// or a typed generator gave a type, each over the registers it takes.
void TestSimApi::memoryTellsDeclaredTypes()
{
    const QByteArray file = "D300:float = 3.25, -1\nD310:int8 = -5, 7, 9\nD320 = 5\nD330:int16 = ramp(0, 9, 1, 1s)\n"
                            "D340:bool = 1\nX0:int16 = 5\nD299:uint16 = 65535\n@2 D304:int32 = 1\n";
    QCOMPARE(call("PUT", "/api/memory-file?name=typed.txt", file).status, 200);
    QCOMPARE(call("PUT", "/api/memory/D350", "{\"type\":\"double\",\"values\":[0.5]}").status, 200);
    const Answer answer = call("GET", "/api/memory/D300?count=60&type=int16&declared=1");
    QCOMPARE(answer.status, 200);
    QStringList seen;
    for (const QJsonValue &value : answer.object.value("declared").toArray()) {
        const QJsonObject declared = value.toObject();
        QStringList values;
        for (const QJsonValue &one : declared.value("values").toArray())
            values << QString::number(one.toDouble());
        seen << QStringLiteral("%1:%2 %3..%4 = %5").arg(declared.value("label").toString(), declared.value("type").toString())
                        .arg(declared.value("first").toInt()).arg(declared.value("last").toInt()).arg(values.join(QLatin1Char(',')));
    }
    // Not D299 (before the registers asked), nor an untyped line, a bool
    // in a register, bits, or another station's values.
    seen.sort();
    QCOMPARE(seen, (QStringList{"D300:float 300..301 = 3.25", "D302:float 302..303 = -1", "D310:int8 310..310 = -5,7",
                                "D311:int8 311..311 = 9,0", "D330:int16 330..330 = 0", "D350:double 350..353 = 0.5"}));
    // Without it, the answer is as it always was.
    QVERIFY(!call("GET", "/api/memory/D300?count=60").object.contains("declared"));
}

// The HTTP layer: a POST without a body needs no Content-Length, a port in
// use is refused, and each run has its own id.
void TestSimApi::requestsWithoutBodyAndPortsInUse()
{
    QTcpSocket curl;
    curl.connectToHost(QHostAddress::LocalHost, http->port());
    QVERIFY(curl.waitForConnected(waitMs));
    curl.write("POST /api/links/drop HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(http->port())
               + "\r\nConnection: close\r\n\r\n");
    QByteArray reply;
    while (curl.state() == QAbstractSocket::ConnectedState && curl.waitForReadyRead(waitMs))
        reply += curl.readAll();
    reply += curl.readAll();
    QVERIFY2(reply.startsWith("HTTP/1.1 200"), reply.constData());
    QVERIFY(reply.endsWith("{\"dropped\":0}"));

    SimHttpServer second(plc, SimLinkInfo());
    QString error;
    QVERIFY(!second.start(QHostAddress::LocalHost, http->port(), &error));
    QVERIFY2(error.contains(QLatin1String("in use")), qPrintable(error));

    QVERIFY(second.start(QHostAddress::LocalHost, 0, &error));
    const QString run = call("GET", "/api/status").object.value("run").toString();
    QVERIFY(!run.isEmpty());
    httplib::Client other("127.0.0.1", second.port());
    const httplib::Result status = other.Get("/api/status");
    QVERIFY(status);
    QVERIFY(QJsonDocument::fromJson(QByteArray::fromStdString(status->body)).object().value("run").toString() != run);
}

void TestSimApi::servesThePage()
{
    httplib::Client client("127.0.0.1", http->port());
    const httplib::Result page = client.Get("/");
    QVERIFY(page);
    QCOMPARE(page->status, 200);
    QVERIFY(page->get_header_value("Content-Type").find("text/html") == 0);
    QVERIFY(page->body.find("console.js") != std::string::npos);
    const httplib::Result script = client.Get("/console.js");
    QVERIFY(script);
    QVERIFY(script->get_header_value("Content-Type").find("text/javascript") == 0);
    QVERIFY(script->body.find("/api/memory/") != std::string::npos);
    QCOMPARE(client.Get("/console.cs")->status, 404);
}

QTEST_GUILESS_MAIN(TestSimApi)
#include "tst_simapi.moc"
