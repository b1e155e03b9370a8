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
    // Straight to the system while nothing waits in the socket's buffer:
    // Qt's write() switches the write notifier on and off, and each switch
    // wakes the event loop. What the system does not take goes the Qt way.
    qint64 sent = 0;
    if (socket_->state() == QAbstractSocket::ConnectedState && socket_->bytesToWrite() == 0) {
        sent = ::send(int(socket_->socketDescriptor()), frame.constData(), size_t(frame.size()),
                      MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = qMax<qint64>(sent, 0);
    }
    if (sent < frame.size()) {
        socket_->write(frame.constData() + sent, frame.size() - sent);
        socket_->flush();
    }
    return true;
}

QByteArray TcpTransport::takeArrived()
{
    if (!socket_)
        return QByteArray();
    // Asks the system first, so that a healthy link costs one call. A wait
    // that finds nothing would leave its time-out as the socket's error,
    // which the disconnect warning reports. What comes in goes through the
    // receive slot, as during an exchange.
    for (int i = 0; i < maxProbes && socket_->state() == QAbstractSocket::ConnectedState; ++i) {
        char probe;
        if (::recv(int(socket_->socketDescriptor()), &probe, 1, MSG_PEEK | MSG_DONTWAIT) < 0)
            break;
        socket_->waitForReadyRead(0); // bytes (for the receive slot), or the peer's close
    }
    return QByteArray();
}

void TcpTransport::dropStaleInput()
{
    takeArrived();
}
