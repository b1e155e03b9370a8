// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simtcpchannel.h"

#include "simhost.h"

#include <QtNetwork/QTcpSocket>

SimTcpChannel::SimTcpChannel(QTcpSocket *socket, QObject *parent)
    : SimChannel(parent), socket(socket)
{
    socket->setParent(this);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::readyRead, this, [this] { emit received(this->socket->readAll()); });
    connect(socket, &QTcpSocket::disconnected, this, &SimChannel::closed);
}

void SimTcpChannel::send(const QByteArray &bytes)
{
    if (socket->state() == QAbstractSocket::ConnectedState) {
        socket->write(bytes);
        socket->flush();
    }
}

void SimTcpChannel::close()
{
    // Drop what is still queued: the connection ends here, as when a PLC's
    // network module resets.
    socket->abort();
    emit closed();
}

QString SimTcpChannel::peerName() const
{
    return QStringLiteral("%1:%2").arg(simHostText(socket->peerAddress())).arg(socket->peerPort());
}
