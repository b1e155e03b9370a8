// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_WEB_WEBGUARDSERVER_H
#define NORVO_WEB_WEBGUARDSERVER_H

#include <httplib.h>

#include <string>

// Puts webGuardCheck in front of every route of `server`, as its pre-routing
// handler: a refused request gets 403 and {"error": reason}, and no route
// (nor `next`) runs, before its body is read. `next` is the server's own
// pre-routing handler, if it has one, for what the guard lets through.
// Called once the port is bound, before the server listens.
void installWebGuard(httplib::Server &server, const std::string &servedAddress, int servedPort,
                     httplib::Server::HandlerWithResponse next = nullptr);

#endif
