// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMTCPCHANNEL_H
#define SIMTCPCHANNEL_H

#include "simchannel.h"

class QTcpSocket;

// A driver's TCP connection; takes the socket over.
class SimTcpChannel : public SimChannel
{
    Q_OBJECT
public:
    explicit SimTcpChannel(QTcpSocket *socket, QObject *parent = nullptr);

    void send(const QByteArray &bytes) override;
    void close() override;
    bool canClose() const override { return true; }
    QString peerName() const override;

private:
    QTcpSocket *socket;
};

#endif
