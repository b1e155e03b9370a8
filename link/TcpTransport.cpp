// SPDX-License-Identifier: LGPL-2.1-or-later
#include "TcpTransport.h"

#include "LinkPause.h"
#include "LinkWire.h"

#include <QtNetwork/QTcpSocket>

#include <poll.h>
#include <sys/socket.h>

namespace {

constexpr int connectWaitMs = 1000;
// Below one exchange's time-out: no disconnect blocks the host for long.
constexpr int closeWaitMs = 300;
// Reads of what the system holds, at most: bytes, then perhaps the peer's close.
constexpr int maxProbes = 8;
// The longest answer (255 registers) is 1029 bytes; more comes next time.
constexpr int answerChunk = 2048;

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

int TcpTransport::descriptor() const
{
    return socket_ ? int(socket_->socketDescriptor()) : -1;
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
    if (socket_->state() != QAbstractSocket::UnconnectedState
        && !socket_->waitForDisconnected(closeWaitMs))
        socket_->abort();
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
        sent = ::send(descriptor(), frame.constData(), size_t(frame.size()),
                      MSG_NOSIGNAL | MSG_DONTWAIT);
        sent = qMax<qint64>(sent, 0);
    }
    if (sent < frame.size()) {
        socket_->write(frame.constData() + sent, frame.size() - sent);
        socket_->flush();
    }
    LinkWire::sent(frame.constData(), frame.size());
    return true;
}

void TcpTransport::waitForInput(int ms)
{
    if (!socket_)
        return;
    if (socket_->bytesToWrite() > 0)
        socket_->waitForBytesWritten(ms);
    const int fd = descriptor();
    if (fd < 0 || socket_->state() != QAbstractSocket::ConnectedState) {
        socket_->waitForReadyRead(ms);
        return;
    }
    // Taken straight from the system: Qt's wait would ask for the count,
    // read, and go through the receive slot for every answer.
    pollfd input { fd, POLLIN, 0 };
    if (::poll(&input, 1, ms) <= 0)
        return;
    char bytes[answerChunk];
    const ssize_t got = ::recv(fd, bytes, sizeof bytes, MSG_DONTWAIT);
    if (got > 0) {
        LinkWire::arrived(bytes, int(got));
        deliver(bytes, int(got));
        return;
    }
    // The peer has closed, or the link failed: Qt must see that itself.
    socket_->waitForReadyRead(0);
}

void TcpTransport::pause(int ms)
{
    linkPause([this] { return descriptor(); }, ms);
}

void TcpTransport::takeBuffered()
{
    if (!socket_)
        return;
    const qint64 available = socket_->bytesAvailable();
    if (available <= 0)
        return;
    const QByteArray bytes = socket_->read(available);
    LinkWire::arrived(bytes.constData(), bytes.size());
    deliver(bytes);
}

void TcpTransport::takeArrived()
{
    // Asks the system first, so that a healthy link costs one call. A wait
    // that finds nothing would leave its time-out as the socket's error,
    // which the disconnect warning reports. What comes in goes through the
    // receive slot, as during an exchange.
    for (int i = 0; i < maxProbes && isUsable(); ++i) {
        char probe;
        if (::recv(descriptor(), &probe, 1, MSG_PEEK | MSG_DONTWAIT) < 0)
            break;
        socket_->waitForReadyRead(0); // bytes (for the receive slot), or the peer's close
    }
    takeBuffered();
}
