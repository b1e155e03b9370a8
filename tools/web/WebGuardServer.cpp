// SPDX-License-Identifier: LGPL-2.1-or-later
#include "WebGuardServer.h"

#include "WebGuard.h"

#include <QtCore/QJsonDocument>
#include <QtCore/QJsonObject>

#include <optional>

namespace {

std::optional<std::string> header(const httplib::Request &request, const char *name)
{
    if (!request.has_header(name))
        return std::nullopt;
    return request.get_header_value(name);
}

} // namespace

void installWebGuard(httplib::Server &server, const std::string &servedAddress, int servedPort,
                     httplib::Server::HandlerWithResponse next)
{
    server.set_pre_routing_handler([servedAddress, servedPort, next](const httplib::Request &request,
                                                                      httplib::Response &response) {
        const WebGuardVerdict verdict = webGuardCheck(servedAddress, servedPort, header(request, "Host"),
                                                      header(request, "Origin"));
        if (verdict.allowed)
            return next ? next(request, response) : httplib::Server::HandlerResponse::Unhandled;
        const QJsonObject error{{QStringLiteral("error"), QString::fromStdString(verdict.reason)}};
        const QByteArray body = QJsonDocument(error).toJson(QJsonDocument::Compact);
        response.status = 403;
        response.set_content(body.constData(), size_t(body.size()), "application/json");
        response.set_header("Cache-Control", "no-store");
        return httplib::Server::HandlerResponse::Handled;
    });
}
