// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SERIALTRANSPORT_H
#define SERIALTRANSPORT_H

#include "LinkTransport.h"

#include <QtCore/QString>

class QSerialPort;
class QTimer;

// The PLC on a serial line. Works on the link manager's port and its
// receive idle timer, which may not exist yet and may be deleted at any
// event.
class SerialTransport final : public LinkTransport
{
public:
    SerialTransport(QSerialPort *const &port, QTimer *const &idleTimer)
        : port_(port), idleTimer_(idleTimer) {}

    // Opens the port read-write and applies the settings it knows; one it
    // does not know leaves the port's own. idleMs: the silence after which
    // a delivery counts as complete, changed for some baud rates.
    bool open(const QString &portName, int baudRate, int dataBits, int stopBits,
              const QString &parity, int &idleMs);

    // Hands over what the port holds (once the line has been quiet).
    void takeBuffered();
    // Logs the bytes that came since the last look as one piece on the wire
    // (LinkWire): the port holds them until the line has been quiet.
    void noteArrived();
    // The port as the host named it in the last open.
    QString portName() const { return portName_; }

    bool isUsable() const override;
    void close() override;
    bool write(const QByteArray &frame) override;
    void waitForInput(int ms) override;
    void pause(int ms) override;
    void takeArrived() override;
    int wireMs(int chars) const override;

private:
    int descriptor() const;

    QSerialPort *const &port_;
    QTimer *const &idleTimer_;
    QString portName_;
    qint64 noted_ = 0; // bytes held by the port and already logged
};

#endif // SERIALTRANSPORT_H
