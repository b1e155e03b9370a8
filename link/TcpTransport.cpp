#include "TcpTransport.h"

#include <QtNetwork/QTcpSocket>

#include <sys/socket.h>

namespace {

constexpr int connectWaitMs = 1000;
constexpr int disconnectWaitMs = 30000;
// Reads of what the system holds, at most: bytes, then perhaps the peer's close.
constexpr int maxProbes = 8;

} // namespace

bool TcpTransport::open(const QHostAddress &address, quint16 port)
{
    // A socket still connected (or connecting) would ignore the new address
    // and report success for the old link.
    if (socket_->state() != QAbstractSocket::UnconnectedState)
        socket_->abort();
    socket_->connectToHost(address, port, QIODevice::ReadWrite);
    socket_->waitForConnected(connectWaitMs);
    const auto state = socket_->state();
    return state == QAbstractSocket::ConnectingState || state == QAbstractSocket::ConnectedState;
}

QIODevice *TcpTransport::device() const
{
    return socket_;
}

bool TcpTransport::isUsable() const
{
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState;
}

void TcpTransport::close()
{
    if (!socket_)
        return;
    socket_->close();
    socket_->disconnectFromHost();
    if (socket_->state() != QAbstractSocket::UnconnectedState)
        socket_->waitForDisconnected(disconnectWaitMs);
}

bool TcpTransport::write(const QByteArray &frame)
{
    if (!socket_ || !socket_->isOpen()) // a dropped link: nothing to write to
        return false;
    socket_->write(frame);
    socket_->flush();
    return true;
}

QByteArray TcpTransport::takeArrived()
{
    if (!socket_)
        return QByteArray();
    // Asks the system first, so that a healthy link costs one call. A wait
    // that finds nothing would leave its time-out as the socket's error,
    // which the disconnect warning reports.
    for (int i = 0; i < maxProbes && socket_->state() == QAbstractSocket::ConnectedState; ++i) {
        char probe;
        if (::recv(int(socket_->socketDescriptor()), &probe, 1, MSG_PEEK | MSG_DONTWAIT) < 0)
            break;
        socket_->waitForReadyRead(0); // bytes, or the peer's close
    }
    // By count: readAll() would take and shrink a 16 KiB block each time.
    return socket_->isOpen() ? socket_->read(socket_->bytesAvailable()) : QByteArray();
}

void TcpTransport::dropStaleInput()
{
    takeArrived();
}
