// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_WEB_WEBGUARD_H
#define NORVO_WEB_WEBGUARD_H

#include <optional>
#include <string>

// Whether a request to one of our web servers comes from its own page or a
// program, and not from another site open in the same browser.
//
// The Host header must name the server as it was started: the numeric
// address served and its port ("127.0.0.1:8080", "[::1]:8080"; no port is
// port 80). `localhost` is taken too where it reaches the server (served on
// 127.0.0.1, ::1 or every address), since no outside party can point it
// elsewhere. Any other name is refused, however it resolves: that is how a
// rebound DNS name would reach the server. On every address (0.0.0.0, ::)
// any numeric address is taken, never a name.
//
// An Origin, when the request has one, must be the page's own:
// "http://" and the same host and port as the Host header. "null", another
// scheme, host or port is another page.
struct WebGuardVerdict {
    bool allowed = false;
    std::string reason;   // why not, for the refusal's text; empty when allowed
};

// `servedAddress`: the numeric address the server listens on, as the tool
// was given it; `servedPort` the port it got. A header the request lacks is
// nullopt, which for Host is a refusal and for Origin none.
WebGuardVerdict webGuardCheck(const std::string &servedAddress, int servedPort,
                              const std::optional<std::string> &host,
                              const std::optional<std::string> &origin);

// "http://HOST:PORT/", an IPv6 address in brackets: where the page is.
std::string webGuardUrl(const std::string &servedAddress, int servedPort);

#endif
