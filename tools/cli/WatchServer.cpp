// SPDX-License-Identifier: LGPL-2.1-or-later
#include "WatchServer.h"

#include "ArgumentChecks.h"
#include "ValueText.h"
#include "WatchRecorder.h"
#include "WebGuard.h"
#include "WebGuardServer.h"

#include <httplib.h>

#include <QtCore/QFile>
#include <QtCore/QJsonArray>
#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <sys/socket.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace {

// Debian's libjs-chart.js; the page says so when it is missing.
QString chartLibraryPath()
{
    const QByteArray own = qgetenv("NORVO_CHART_JS");
    return own.isEmpty() ? QStringLiteral("/usr/share/javascript/chart.js/chart.min.js")
                         : QString::fromLocal8Bit(own);
}

void sendJson(httplib::Response &response, const QJsonObject &object, int status = 200)
{
    response.status = status;
    const QByteArray body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    response.set_content(body.constData(), size_t(body.size()), "application/json");
    response.set_header("Cache-Control", "no-store");
}

void sendError(httplib::Response &response, int status, const QString &text)
{
    sendJson(response, QJsonObject{{QStringLiteral("error"), text}}, status);
}

// A file of the page, compiled in.
void sendResource(httplib::Response &response, const QString &name, const char *type)
{
    QFile file(QStringLiteral(":/watch/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        sendError(response, 404, QStringLiteral("no such resource"));
        return;
    }
    const QByteArray body = file.readAll();
    response.set_content(body.constData(), size_t(body.size()), type);
    response.set_header("Cache-Control", "no-store");
}

struct WriteJob {
    int item;
    QVariant values;
    int count;
    std::promise<LabelResult> done;
};

} // namespace

struct WatchServer::Private {
    Private(WatchRecorder &recorder, const QJsonObject &about, bool allowWrite)
        : recorder(recorder), about(about), allowWrite(allowWrite)
    {
    }

    void write(const httplib::Request &request, httplib::Response &response);

    WatchRecorder &recorder;
    const QJsonObject about;
    const bool allowWrite;
    const QString runId = QString::number(QDateTime::currentMSecsSinceEpoch(), 36);
    httplib::Server server;
    std::thread thread;
    QString url;
    std::mutex mutex;
    std::deque<std::shared_ptr<WriteJob>> jobs;
    bool stopping = false;
};

void WatchServer::Private::write(const httplib::Request &request, httplib::Response &response)
{
    // Another site open in the same browser may send a form or a plain-text
    // POST here, but not JSON without our consent; its Origin, where it
    // shows, the web guard has refused already.
    if (request.get_header_value("Content-Type").rfind("application/json", 0) != 0) {
        sendError(response, 403, QStringLiteral("a write takes JSON from norvo's own page"));
        return;
    }
    if (!allowWrite) {
        sendError(response, 403, QStringLiteral("writes are off: start norvo watch with --allow-write"));
        return;
    }
    QJsonParseError parseError{};
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(request.body), &parseError);
    const QJsonObject body = document.object();
    const QJsonValue item = body.value(QStringLiteral("item"));
    const QJsonArray values = body.value(QStringLiteral("values")).toArray();
    const int items = recorder.readItems().size();
    if (parseError.error != QJsonParseError::NoError || !document.isObject() || !item.isDouble()
        || item.toInt(-1) < 0 || item.toInt(-1) >= items || item.toDouble() != item.toInt()
        || values.isEmpty()) {
        sendError(response, 400, QStringLiteral("give {\"item\": 0 to %1, \"values\": [\"text\", ...]}")
                                     .arg(items - 1));
        return;
    }
    const ReadItem &target = recorder.readItems().at(item.toInt());
    QStringList texts;
    const QString unfit = ValueText::textsFromJson(target.type, values, &texts);
    if (!unfit.isEmpty()) {
        sendError(response, 400, unfit);
        return;
    }
    // norvo's own checks, as norvo write makes them: what fails here never
    // reaches the driver, and is no status of the driver's.
    auto job = std::make_shared<WriteJob>();
    job->item = item.toInt();
    job->count = texts.size();
    QString refusal = ValueText::parseValues(target.type, texts, &job->values);
    if (refusal.isEmpty() && target.type == DT_Bool)
        refusal = ArgumentChecks::wholeWordsOnly(target.label, job->values);
    if (!refusal.isEmpty()) {
        sendError(response, 400, QStringLiteral("norvo refused the value, nothing was sent: ") + refusal);
        return;
    }
    std::future<LabelResult> done = job->done.get_future();
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (stopping) {
            sendError(response, 503, QStringLiteral("norvo is stopping"));
            return;
        }
        jobs.push_back(job);
    }
    // A write waits for the read under way and then for its own exchange.
    if (done.wait_for(std::chrono::seconds(30)) != std::future_status::ready) {
        sendError(response, 504, QStringLiteral("the write did not run in time"));
        return;
    }
    const LabelResult result = done.get();
    QJsonObject answer = resultObject(result);
    if (!result.sent && result.status >= 2 && result.status <= 5 && result.reason.isEmpty())
        answer.insert(QStringLiteral("reason"), QStringLiteral("the driver refused it before anything was sent"));
    sendJson(response, answer);
}

WatchServer::WatchServer(WatchRecorder &recorder, const QJsonObject &about, bool allowWrite)
    : d(new Private(recorder, about, allowWrite))
{
    httplib::Server &server = d->server;
    // Another program on the port must not share it unnoticed.
    server.set_socket_options([](socket_t socket) {
        const int on = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    });
    server.Get("/", [](const httplib::Request &, httplib::Response &response) {
        sendResource(response, QStringLiteral("index.html"), "text/html; charset=utf-8");
    });
    server.Get("/watch.js", [](const httplib::Request &, httplib::Response &response) {
        sendResource(response, QStringLiteral("watch.js"), "text/javascript; charset=utf-8");
    });
    server.Get("/watch.css", [](const httplib::Request &, httplib::Response &response) {
        sendResource(response, QStringLiteral("watch.css"), "text/css; charset=utf-8");
    });
    server.Get("/chart.js", [](const httplib::Request &, httplib::Response &response) {
        QFile file(chartLibraryPath());
        if (!file.open(QIODevice::ReadOnly)) {
            sendError(response, 404, QStringLiteral("the chart library is missing: %1 (Debian's libjs-chart.js)")
                                         .arg(file.fileName()));
            return;
        }
        const QByteArray body = file.readAll();
        response.set_content(body.constData(), size_t(body.size()), "text/javascript; charset=utf-8");
    });
    server.Get("/api/items", [this](const httplib::Request &, httplib::Response &response) {
        QJsonObject answer = d->recorder.items();
        for (auto it = d->about.begin(); it != d->about.end(); ++it)
            answer.insert(it.key(), it.value());
        answer.insert(QStringLiteral("run"), d->runId);
        answer.insert(QStringLiteral("allow_write"), d->allowWrite);
        sendJson(response, answer);
    });
    server.Get("/api/samples", [this](const httplib::Request &request, httplib::Response &response) {
        bool ok = true;
        qint64 since = 0;
        if (request.has_param("since"))
            since = QString::fromStdString(request.get_param_value("since")).toLongLong(&ok);
        if (!ok || since < 0) {
            sendError(response, 400, QStringLiteral("since: a sequence number from 0 on"));
            return;
        }
        QJsonObject answer = d->recorder.since(since);
        answer.insert(QStringLiteral("run"), d->runId);
        sendJson(response, answer);
    });
    server.Get("/api/samples.csv", [this](const httplib::Request &, httplib::Response &response) {
        const QByteArray body = d->recorder.csv().toUtf8();
        response.set_content(body.constData(), size_t(body.size()), "text/csv; charset=utf-8");
        response.set_header("Content-Disposition", "attachment; filename=\"norvo-watch.csv\"");
        response.set_header("Cache-Control", "no-store");
    });
    server.Post("/api/write", [this](const httplib::Request &request, httplib::Response &response) {
        d->write(request, response);
    });
    server.set_payload_max_length(1 << 20);
    server.set_error_handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            sendError(response, response.status, QStringLiteral("HTTP status %1").arg(response.status));
    });
}

WatchServer::~WatchServer()
{
    stop();
    if (d->thread.joinable()) {
        d->server.stop();
        d->thread.join();
    }
}

bool WatchServer::start(const QString &host, int port, QString *error)
{
    const std::string address = host.toStdString();
    const int bound = port == 0 ? d->server.bind_to_any_port(address)
                                : (d->server.bind_to_port(address, port) ? port : -1);
    if (bound <= 0) {
        *error = QStringLiteral("cannot serve the page on %1:%2 (in use, or not an address of this machine)")
                     .arg(host).arg(port);
        return false;
    }
    // Only the address norvo printed reaches the page, and only the page
    // itself writes (tools/web).
    installWebGuard(d->server, address, bound);
    d->url = QString::fromStdString(webGuardUrl(address, bound));
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    while (!d->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

QString WatchServer::url() const
{
    return d->url;
}

void WatchServer::serveWrites(const Writer &writer)
{
    for (;;) {
        std::shared_ptr<WriteJob> job;
        {
            std::lock_guard<std::mutex> lock(d->mutex);
            if (d->jobs.empty())
                return;
            job = d->jobs.front();
            d->jobs.pop_front();
        }
        job->done.set_value(writer(job->item, job->values, job->count));
    }
}

void WatchServer::stop()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->stopping = true;
    for (const std::shared_ptr<WriteJob> &job : d->jobs) {
        LabelResult refused;
        refused.status = 1;
        refused.reason = QStringLiteral("norvo stopped before the write ran");
        refused.time = QDateTime::currentDateTime();
        job->done.set_value(refused);
    }
    d->jobs.clear();
}
