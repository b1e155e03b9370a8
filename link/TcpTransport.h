// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef TCPTRANSPORT_H
#define TCPTRANSPORT_H

#include "LinkTransport.h"

class QHostAddress;
class QTcpSocket;

// The PLC over TCP. Works on the link manager's socket, which may not
// exist yet and may be deleted at any event.
class TcpTransport final : public LinkTransport
{
public:
    explicit TcpTransport(QTcpSocket *const &socket) : socket_(socket) {}

    // Starts the connection and waits up to connectWaitMs for it. A
    // connection still under way counts as opened.
    bool open(const QHostAddress &address, quint16 port);
    // Hands over what the socket has read (its readyRead).
    void takeBuffered();

    bool isUsable() const override;
    // Closes; a socket that cannot send its last bytes in closeWaitMs is aborted.
    void close() override;
    bool write(const QByteArray &frame) override;
    void waitForInput(int ms) override;
    void pause(int ms) override;
    void takeArrived() override;
    int wireMs(int) const override { return 0; }

private:
    int descriptor() const;

    QTcpSocket *const &socket_;
};

#endif // TCPTRANSPORT_H
