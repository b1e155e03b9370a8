// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_REFUSINGPORT_H
#define NORVO_REFUSINGPORT_H

#include <QtCore/QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

// A loopback port that refuses every connection at once: bound by this
// process for its whole life but never listened on, so nobody else can take
// it either. 0 if no port could be had.
inline quint16 refusingPort()
{
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return quint16(0);
        return quint16(ntohs(address.sin_port));
    }();
    return port;
}

#endif
