#include "simhttpserver.h"

#include "simpage.h"

#include <httplib.h>

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <chrono>
#include <thread>

namespace {

QString hostText(const QHostAddress &address)
{
    const QString text = address.toString();
    return address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + text + QLatin1Char(']')
                                                                : text;
}

// The refusals the HTTP layer makes itself, before any route runs.
std::string refusalJson(int status)
{
    QString text;
    switch (status) {
    case 400:
        text = QStringLiteral("the request could not be read (a POST or PUT needs a Content-Length)");
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
        QMap<QString, QString> query;
        for (const auto &parameter : request.params)
            query.insert(QString::fromStdString(parameter.first), QString::fromStdString(parameter.second));
        const QByteArray body = QByteArray::fromStdString(request.body);
        const SimApi::Reply reply = api.handle(QString::fromStdString(request.method),
                                               QString::fromStdString(request.path), query, body);
        response.status = reply.status;
        response.set_content(reply.body.toStdString(), "application/json");
        // The page polls; stale answers from a cache would freeze it.
        response.set_header("Cache-Control", "no-store");
    }

    SimApi api;
    httplib::Server server;
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
    d->server.Get("/", [](const httplib::Request &, httplib::Response &response) {
        const QByteArray page = simConsolePage();
        response.set_content(page.constData(), size_t(page.size()), "text/html; charset=utf-8");
        response.set_header("Cache-Control", "no-store");
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
        *error = QStringLiteral("cannot serve HTTP on %1:%2").arg(hostText(address)).arg(port);
        return false;
    }
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
    return QStringLiteral("http %1:%2").arg(hostText(d->address)).arg(d->port);
}

quint16 SimHttpServer::port() const
{
    return d->port;
}
