// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMCHANNEL_H
#define SIMCHANNEL_H

#include <QtCore/QByteArray>
#include <QtCore/QObject>
#include <QtCore/QString>

// One byte stream between the simulator and a driver: a TCP connection, a
// pty or a serial line.
class SimChannel : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    virtual void send(const QByteArray &bytes) = 0;

    // Ends the connection where the link has connections (TCP); a serial
    // line or pty cannot be closed on its peer and stays open.
    virtual void close() = 0;

    // True where close() really drops the peer.
    virtual bool canClose() const = 0;

    // "127.0.0.1:41234" for a connection with a peer address; empty otherwise.
    virtual QString peerName() const { return QString(); }

signals:
    void received(const QByteArray &bytes);
    void closed();
};

#endif
