#ifndef TCPTRANSPORT_H
#define TCPTRANSPORT_H

#include "LinkTransport.h"

class QHostAddress;
class QTcpSocket;

// The PLC over TCP. Works on the link manager's socket, which may not
// exist yet and may be replaced.
class TcpTransport final : public LinkTransport
{
public:
    explicit TcpTransport(QTcpSocket *const &socket) : socket_(socket) {}

    // Starts the connection and waits up to connectWaitMs for it. A
    // connection still under way counts as opened.
    bool open(const QHostAddress &address, quint16 port);

    QIODevice *device() const override;
    bool isUsable() const override;
    void close() override;
    bool write(const QByteArray &frame) override;
    QByteArray awaitInput(int ms) override;
    QByteArray takeArrived() override;
    // What is stale on a socket comes in as any other late bytes.
    void dropStaleInput() override { takeArrived(); }
    int descriptor() const override;
    int wireMs(int) const override { return 0; }

private:
    QTcpSocket *const &socket_;
};

#endif // TCPTRANSPORT_H
