// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMHTTPSERVER_H
#define SIMHTTPSERVER_H

#include "simapi.h"

#include <QtNetwork/QHostAddress>

#include <memory>

class SimServer;

// The web console and REST API of a SimServer over HTTP, served from
// threads of its own; the API reaches the PLC only through SimServer's
// locked functions, so it never races the PLC's thread.
class SimHttpServer
{
public:
    SimHttpServer(SimServer *plc, const SimLinkInfo &info);
    ~SimHttpServer();
    SimHttpServer(const SimHttpServer &) = delete;
    SimHttpServer &operator=(const SimHttpServer &) = delete;

    // Listens on `address`, port 0 for a free one; false with `error` set.
    bool start(const QHostAddress &address, quint16 port, QString *error);
    void stop();

    // "http HOST:PORT" once started.
    QString listeningOn() const;
    quint16 port() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

#endif
