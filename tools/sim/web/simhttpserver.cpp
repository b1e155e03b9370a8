// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simhttpserver.h"

#include "simhost.h"
#include "simpage.h"

#include "WebGuardServer.h"

#include <httplib.h>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>
#include <QtCore/QUrl>
#include <QtCore/QUrlQuery>

#include <chrono>
#include <thread>

#include <sys/socket.h>

namespace {

// The refusals the HTTP layer makes itself, before any route runs.
std::string refusalJson(int status)
{
    QString text;
    switch (status) {
    case 400:
        text = QStringLiteral("the request could not be read");
        break;
    case 404:
        text = QStringLiteral("no such resource");
        break;
    case 413:
        text = QStringLiteral("the request is too large");
        break;
    default:
        text = QStringLiteral("HTTP status %1").arg(status);
        break;
    }
    const QJsonObject error{{QStringLiteral("error"), text}};
    return QJsonDocument(error).toJson(QJsonDocument::Compact).toStdString();
}

} // namespace

struct SimHttpServer::Private {
    Private(SimServer *plc, const SimLinkInfo &info) : api(plc, info) {}

    void answer(const httplib::Request &request, httplib::Response &response)
    {
        // From the target only: the HTTP layer adds the fields of a form
        // body to its parameters, and curl -d sends JSON as a form.
        QMap<QString, QString> query;
        const QUrlQuery items(QUrl(QString::fromStdString(request.target)));
        for (const auto &item : items.queryItems(QUrl::FullyDecoded))
            query.insert(item.first, item.second);
        const QByteArray body = QByteArray::fromStdString(request.body);
        // The console says so; anything else is a caller of the API.
        const QString origin = request.get_header_value("X-Norvo-Origin") == "page" ? QStringLiteral("page")
                                                                                     : QStringLiteral("api");
        const SimApi::Reply reply = api.handle(QString::fromStdString(request.method),
                                               QString::fromStdString(request.path), query, body, origin);
        response.status = reply.status;
        response.set_content(reply.body.constData(), size_t(reply.body.size()), reply.contentType.constData());
        if (!reply.fileName.isEmpty()) {
            response.set_header("Content-Disposition",
                                QStringLiteral("attachment; filename=\"%1\"").arg(reply.fileName).toStdString());
        }
        // The page polls; stale answers from a cache would freeze it.
        response.set_header("Cache-Control", "no-store");
    }

    SimApi api;
    httplib::Server server;
    httplib::Server::HandlerWithResponse withoutBody;
    std::thread thread;
    QHostAddress address;
    quint16 port = 0;
};

SimHttpServer::SimHttpServer(SimServer *plc, const SimLinkInfo &info)
    : d(new Private(plc, info))
{
    auto api = [this](const httplib::Request &request, httplib::Response &response) {
        d->answer(request, response);
    };
    d->server.Get("/api/.*", api);
    d->server.Put("/api/.*", api);
    d->server.Post("/api/.*", api);
    d->server.Delete("/api/.*", api);
    // The API answers every method it does not take with 405.
    d->server.Patch("/api/.*", api);
    // A request that takes no body may come without a Content-Length (curl
    // -X POST); the HTTP layer would wait for a body until the connection
    // ends. Such a request has none: it is answered before any is read.
    // It runs behind the web guard, which start() installs.
    d->withoutBody = [api](const httplib::Request &request, httplib::Response &response) {
        const bool mayHaveBody = request.has_header("Content-Length") || request.has_header("Transfer-Encoding");
        if (mayHaveBody || request.method == "GET" || request.path.rfind("/api/", 0) != 0)
            return httplib::Server::HandlerResponse::Unhandled;
        api(request, response);
        return httplib::Server::HandlerResponse::Handled;
    };
    d->server.Get("/(|console\\.css|console\\.js)", [](const httplib::Request &request, httplib::Response &response) {
        const SimPageFile file = simConsoleFile(QString::fromStdString(request.path));
        response.set_content(file.content.constData(), size_t(file.content.size()), file.contentType.constData());
        response.set_header("Cache-Control", "no-store");
    });
    // Only SO_REUSEADDR, which lets a restart bind while old connections
    // linger, and no SO_REUSEPORT, with which a second simulator would
    // share the port and answer half of the requests.
    d->server.set_socket_options([](int socket) {
        const int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    // Memory changes are small; anything large is a mistake or an attack.
    d->server.set_payload_max_length(1 << 20);
    // Every answer is JSON, also where the HTTP layer refuses on its own;
    // the API's own refusals already carry their text.
    const httplib::Server::HandlerWithResponse refusal = [](const httplib::Request &,
                                                            httplib::Response &response) {
        if (!response.body.empty())
            return httplib::Server::HandlerResponse::Unhandled;
        response.set_content(refusalJson(response.status), "application/json");
        return httplib::Server::HandlerResponse::Handled;
    };
    d->server.set_error_handler(refusal);
}

SimHttpServer::~SimHttpServer()
{
    stop();
}

bool SimHttpServer::start(const QHostAddress &address, quint16 port, QString *error)
{
    const std::string host = address.toString().toStdString();
    int bound = port;
    if (port == 0)
        bound = d->server.bind_to_any_port(host);
    else if (!d->server.bind_to_port(host, port))
        bound = -1;
    if (bound <= 0) {
        *error = QStringLiteral("cannot serve HTTP on %1:%2: %3").arg(simHostText(address)).arg(port)
                .arg(port == 0 ? QStringLiteral("no free port") : QStringLiteral("the address is in use or not available"));
        return false;
    }
    // Another site open in the engineer's browser, or a name rebound to
    // this machine, must not change the PLC (tools/web).
    installWebGuard(d->server, host, bound, d->withoutBody);
    d->address = address;
    d->port = quint16(bound);
    d->thread = std::thread([this] { d->server.listen_after_bind(); });
    // stop() does nothing to a server not yet running, and would then wait
    // for it forever.
    while (!d->server.is_running())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

void SimHttpServer::stop()
{
    if (!d->thread.joinable())
        return;
    d->server.stop();
    d->thread.join();
}

QString SimHttpServer::listeningOn() const
{
    return QStringLiteral("http %1:%2").arg(simHostText(d->address)).arg(d->port);
}

quint16 SimHttpServer::port() const
{
    return d->port;
}
