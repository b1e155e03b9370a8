// SPDX-License-Identifier: LGPL-2.1-or-later
#include "SerialTransport.h"

#include "LinkPause.h"
#include "LinkWire.h"
#include "SerialLine.h"

#include <poll.h>

#include <QtCore/QTimer>
#include <QtSerialPort/QSerialPort>

namespace {

// The silence after which a serial delivery counts as complete, for the
// rates that change it.
struct IdleSetting
{
    int baudRate;
    int idleMs;
};
constexpr IdleSetting idleSettings[] = {{2400, 10}, {4800, 6}, {9600, 3}};

// Rates the port cannot report are taken as the slowest one offered.
constexpr int slowestBaud = SerialLine::baudRates[0];

} // namespace

bool SerialTransport::open(const QString &portName, int baudRate, int dataBits, int stopBits,
                           const QString &parity, int &idleMs)
{
    if (port_->isOpen()) {
        port_->clear(QSerialPort::AllDirections);
        port_->close();
    }
    // A NUL cuts the device path short: Qt would open (and lock) another
    // name than the one asked for and leave its lock file behind.
    if (portName.contains(QChar::Null))
        return false;
    portName_ = portName;
    noted_ = 0;
    port_->setPortName(portName);
    if (!port_->open(QIODevice::ReadWrite))
        return false;

    if (SerialLine::isBaudRate(baudRate))
        port_->setBaudRate(baudRate, QSerialPort::AllDirections);
    for (const IdleSetting &setting : idleSettings) {
        if (setting.baudRate == baudRate)
            idleMs = setting.idleMs;
    }
    if (dataBits >= SerialLine::minDataBits && dataBits <= SerialLine::maxDataBits)
        port_->setDataBits(QSerialPort::DataBits(dataBits));
    if (stopBits == 1)
        port_->setStopBits(QSerialPort::OneStop);
    else if (stopBits == 2)
        port_->setStopBits(QSerialPort::TwoStop);
    else if (stopBits == SerialLine::oneAndHalfStopBits)
        port_->setStopBits(QSerialPort::OneAndHalfStop);
    if (parity.contains(QLatin1Char('N'), Qt::CaseInsensitive))
        port_->setParity(QSerialPort::NoParity);
    else if (parity.contains(QLatin1Char('E'), Qt::CaseInsensitive))
        port_->setParity(QSerialPort::EvenParity);
    else if (parity.contains(QLatin1Char('O'), Qt::CaseInsensitive))
        port_->setParity(QSerialPort::OddParity);
    port_->setFlowControl(QSerialPort::NoFlowControl);
    return true;
}

bool SerialTransport::isUsable() const
{
    return port_ && port_->isOpen();
}

void SerialTransport::close()
{
    if (idleTimer_)
        idleTimer_->stop();
    if (!isUsable())
        return;
    port_->clear(QSerialPort::AllDirections);
    port_->close();
    noted_ = 0;
}

bool SerialTransport::write(const QByteArray &frame)
{
    if (!isUsable())
        return false;
    port_->write(frame);
    port_->flush();
    LinkWire::sent(frame.constData(), frame.size());
    return true;
}

void SerialTransport::waitForInput(int ms)
{
    if (!isUsable())
        return;
    // The request goes out first. With nothing left to write, a port would
    // sit out the whole wait here (taking in the answer unseen).
    if (port_->bytesToWrite() > 0)
        port_->waitForBytesWritten(ms);
    // The bytes stay with the port until the line has been quiet for the
    // idle time; the idle timer then hands them over.
    if (isUsable())
        port_->waitForReadyRead(ms);
}

void SerialTransport::pause(int ms)
{
    linkPause([this] { return descriptor(); }, ms);
}

void SerialTransport::noteArrived()
{
    if (!LinkWire::isOn() || !isUsable()) {
        noted_ = 0;
        return;
    }
    const qint64 available = port_->bytesAvailable();
    if (available > noted_) {
        const QByteArray held = port_->peek(available);
        LinkWire::arrived(held.constData() + noted_, int(held.size() - noted_));
    }
    noted_ = available;
}

void SerialTransport::takeBuffered()
{
    if (!isUsable())
        return;
    noteArrived();
    noted_ = 0;
    // By count: readAll() would take and shrink a 16 KiB block each time.
    deliver(port_->read(port_->bytesAvailable()));
}

void SerialTransport::takeArrived()
{
    if (!isUsable())
        return;
    // What the system holds comes in now, not after the idle time. Asked
    // of the system first: Qt's wait that finds nothing reports a time-out
    // error, and clearing it is a second signal.
    pollfd input { descriptor(), POLLIN, 0 };
    if (::poll(&input, 1, 0) > 0 && !port_->waitForReadyRead(0) && isUsable())
        port_->clearError(); // nothing there after all: not an error of the line
    if (idleTimer_)
        idleTimer_->stop();
    takeBuffered();
}

// In half bits, so that 1.5 stop bits stay exact.
int SerialTransport::wireMs(int chars) const
{
    if (!port_)
        return 0;
    const int baud = port_->baudRate() > 0 ? port_->baudRate() : slowestBaud;
    const int dataBits = port_->dataBits() >= 5 && port_->dataBits() <= 8 ? port_->dataBits() : 8;
    const int parityBits = port_->parity() == QSerialPort::NoParity ? 0 : 1;
    int stopHalfBits = 2;
    if (port_->stopBits() == QSerialPort::TwoStop)
        stopHalfBits = 4;
    else if (port_->stopBits() == QSerialPort::OneAndHalfStop)
        stopHalfBits = 3;
    const qint64 halfBitsPerChar = 2 * (1 + dataBits + parityBits) + stopHalfBits;
    const qint64 halfBitsPerSecond = 2 * qint64(baud);
    return int((chars * halfBitsPerChar * 1000 + halfBitsPerSecond - 1) / halfBitsPerSecond);
}

int SerialTransport::descriptor() const
{
    return isUsable() ? int(port_->handle()) : -1;
}
