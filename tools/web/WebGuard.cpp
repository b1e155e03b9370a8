// SPDX-License-Identifier: LGPL-2.1-or-later
#include "WebGuard.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// The host and port of a Host header or an Origin's rest.
struct Authority {
    std::string name;    // lower case, without brackets
    bool bracketed = false;
    int port = 80;
};

std::string lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : char(c); });
    return text;
}

// "name", "name:port", "[v6]", "[v6]:port"; an IPv6 address out of brackets
// is no authority.
std::optional<Authority> parseAuthority(const std::string &text)
{
    Authority authority;
    std::string rest;
    if (!text.empty() && text.front() == '[') {
        const size_t close = text.find(']');
        if (close == std::string::npos)
            return std::nullopt;
        authority.name = text.substr(1, close - 1);
        authority.bracketed = true;
        rest = text.substr(close + 1);
    } else {
        const size_t colon = text.find(':');
        authority.name = text.substr(0, colon);
        rest = colon == std::string::npos ? std::string() : text.substr(colon);
    }
    if (authority.name.empty())
        return std::nullopt;
    authority.name = lower(authority.name);
    if (rest.empty())
        return authority;
    const std::string digits = rest.substr(1);
    if (rest.front() != ':' || digits.empty() || digits.size() > 5
        || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::nullopt;
    authority.port = std::stoi(digits);
    return authority.port <= 65535 ? std::optional<Authority>(authority) : std::nullopt;
}

using Address = std::array<unsigned char, 16>;

// A numeric address: dotted IPv4 out of brackets, IPv6 in them. Anything
// else is a name.
std::optional<Address> numeric(const std::string &name, bool bracketed)
{
    Address address{};
    if (::inet_pton(bracketed ? AF_INET6 : AF_INET, name.c_str(), address.data()) != 1)
        return std::nullopt;
    return address;
}

std::optional<Address> servedNumeric(const std::string &served)
{
    const bool bracketed = served.size() > 1 && served.front() == '[' && served.back() == ']';
    const std::string bare = bracketed ? served.substr(1, served.size() - 2) : served;
    if (std::optional<Address> v4 = numeric(bare, false))
        return v4;
    return numeric(bare, true);
}

bool isAny(const Address &address)
{
    return std::all_of(address.begin(), address.end(), [](unsigned char b) { return b == 0; });
}

// 127.0.0.1 or ::1, where `localhost` leads.
bool isLocalhost(const Address &address)
{
    static const Address v4{127, 0, 0, 1};
    static const Address v6{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    return address == v4 || address == v6;
}

bool sameHost(const Authority &a, const Authority &b)
{
    if (a.port != b.port || a.bracketed != b.bracketed)
        return false;
    const std::optional<Address> x = numeric(a.name, a.bracketed);
    const std::optional<Address> y = numeric(b.name, b.bracketed);
    return x && y ? *x == *y : a.name == b.name;
}

WebGuardVerdict refuse(std::string reason)
{
    return WebGuardVerdict{false, std::move(reason)};
}

} // namespace

std::string webGuardUrl(const std::string &servedAddress, int servedPort)
{
    const bool bare6 = servedAddress.find(':') != std::string::npos && servedAddress.compare(0, 1, "[") != 0;
    return "http://" + (bare6 ? "[" + servedAddress + "]" : servedAddress) + ":" + std::to_string(servedPort) + "/";
}

WebGuardVerdict webGuardCheck(const std::string &servedAddress, int servedPort,
                              const std::optional<std::string> &host,
                              const std::optional<std::string> &origin)
{
    const std::string askFor = "ask for " + webGuardUrl(servedAddress, servedPort);
    if (!host)
        return refuse("the request has no Host header: " + askFor);
    const std::optional<Address> served = servedNumeric(servedAddress);
    const std::optional<Authority> named = parseAuthority(*host);
    bool ours = false;
    if (served && named && named->port == servedPort) {
        if (!named->bracketed && named->name == "localhost") {
            ours = isAny(*served) || isLocalhost(*served);
        } else {
            const std::optional<Address> address = numeric(named->name, named->bracketed);
            ours = address && (isAny(*served) || *address == *served);
        }
    }
    if (!ours)
        return refuse("Host \"" + *host + "\" is not this server: " + askFor);

    if (origin) {
        const std::string scheme = "http://";
        const std::optional<Authority> page = lower(origin->substr(0, scheme.size())) == scheme
                                                  ? parseAuthority(origin->substr(scheme.size()))
                                                  : std::nullopt;
        if (!page || !sameHost(*page, *named))
            return refuse("a page from \"" + *origin + "\" may not use this server, only its own page");
    }
    return WebGuardVerdict{true, std::string()};
}
