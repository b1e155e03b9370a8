// SPDX-License-Identifier: LGPL-2.1-or-later
// The link itself: opening and closing the serial port or TCP socket, which
// one feeds the exchange, the status test and the waits.
#include "CmdNorvo_TCP.h"

#include "LinkPause.h"

#include <QtCore/QDebug>
#include <QtCore/QSignalBlocker>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>
#include <QtSerialPort/QSerialPort>

CmdNorvo_TCP::CmdNorvo_TCP()
    : QObject(nullptr)
{
    tcpLink.setReceiver(&exchange);
    serialLink.setReceiver(&exchange);
}

CmdNorvo_TCP::~CmdNorvo_TCP()
{
    DestroyFree();
    // Any link object left goes with the QObject children.
}

// --- serial line -----------------------------------------------------------

int CmdNorvo_TCP::serialConnectDrive(QString portName, int baudRate, int dataBits, int stopBits,
                                     QString parity)
{
    // One link at a time: the socket would go on feeding the exchange.
    if (tcpSocket && tcpSocket->state() != QAbstractSocket::UnconnectedState)
        EthDisConnectDrive();
    if (!serialPort) {
        serialPort = new QSerialPort(this);
        connect(serialPort, &QSerialPort::errorOccurred, this,
                [this](QSerialPort::SerialPortError error) { serialLineError(int(error)); });
    }
    exchange.setLink(&serialLink);
    const bool opened = serialLink.open(portName, baudRate, dataBits, stopBits, parity, recvIdleMs);
    exchange.linkOpened("serial " + portName.toUtf8(), answerWaitSetting);
    if (!opened)
        return -1;

    connect(serialPort, &QSerialPort::readyRead, this, &CmdNorvo_TCP::serialreadyRead,
            Qt::UniqueConnection);
    if (!recvTimer) {
        recvTimer = new QTimer(this);
        recvTimer->setSingleShot(false);
        connect(recvTimer, &QTimer::timeout, this, &CmdNorvo_TCP::TimerTimeOut);
    }
    return 0;
}

int CmdNorvo_TCP::serialDisConnectDrive()
{
    if (!serialLink.isUsable())
        return 1;
    serialLink.close();
    return 0;
}

// A line that has gone (a USB adapter unplugged, the far end of a pty
// closed) is a dropped link, as a dropped TCP connection is: one warning,
// then "not connected" until the host connects again.
void CmdNorvo_TCP::serialLineError(int error)
{
    if (error != QSerialPort::ResourceError || !serialLink.isUsable())
        return;
    {
        // Closing a line that is gone fails in turn: no second report.
        const QSignalBlocker quiet(serialPort);
        serialPort->close();
    }
    if (recvTimer)
        recvTimer->stop();
    qWarning().noquote() << QStringLiteral("lib[Norvo]%1 Disconnected=%2")
                                .arg(serialLink.portName(), QString::number(error));
}

// A serial answer is complete once the line has been quiet for recvIdleMs.
void CmdNorvo_TCP::serialreadyRead()
{
    serialLink.noteArrived();
    if (!recvTimer)
        return;
    recvTimer->stop();
    recvTimer->start(recvIdleMs);
}

void CmdNorvo_TCP::TimerTimeOut()
{
    if (recvTimer && recvTimer->isActive())
        recvTimer->stop();
    serialLink.takeBuffered();
}

// --- TCP ----------------------------------------------------------------------

int CmdNorvo_TCP::EthConnectDrive(QString ip, int port)
{
    // The drop of a link still up is logged with its old address and port.
    if (tcpSocket && tcpSocket->state() != QAbstractSocket::UnconnectedState)
        tcpSocket->abort();

    tcpPort = port;
    if (!tcpSocket)
        tcpSocket = new QTcpSocket(this);
    if (!hostAddress.setAddress(ip))
        return -1;
    serialDisConnectDrive(); // one link at a time

    connect(tcpSocket, &QTcpSocket::connected, this, &CmdNorvo_TCP::Ethconnected,
            Qt::UniqueConnection);
    connect(tcpSocket, &QTcpSocket::disconnected, this, &CmdNorvo_TCP::Ethdisconnected,
            Qt::UniqueConnection);
    connect(tcpSocket, &QTcpSocket::readyRead, this, &CmdNorvo_TCP::EthreadyRead,
            Qt::UniqueConnection);

    exchange.setLink(&tcpLink);
    const bool opened = tcpLink.open(hostAddress, quint16(port));
    // Behind a gateway, what the old connection owed may come over this
    // one, and so may what another host's did.
    exchange.linkOpened("tcp " + hostAddress.toString().toLatin1() + ':' + QByteArray::number(port),
                        answerWaitSetting);
    return opened ? 0 : -3;
}

int CmdNorvo_TCP::EthDisConnectDrive()
{
    if (!tcpSocket)
        return 1;
    tcpLink.close();
    // Removed only now, so that a disconnect we asked for is logged as well.
    disconnect(tcpSocket, &QTcpSocket::connected, this, &CmdNorvo_TCP::Ethconnected);
    disconnect(tcpSocket, &QTcpSocket::disconnected, this, &CmdNorvo_TCP::Ethdisconnected);
    disconnect(tcpSocket, &QTcpSocket::readyRead, this, &CmdNorvo_TCP::EthreadyRead);
    return 0;
}

void CmdNorvo_TCP::Ethconnected()
{
}

void CmdNorvo_TCP::Ethdisconnected()
{
    const int error = tcpSocket ? int(tcpSocket->error()) : -1;
    qWarning().noquote() << QStringLiteral("lib[Norvo]%1:%2 Disconnected=%3")
                                .arg(hostAddress.toString(), QString::number(tcpPort),
                                     QString::number(error));
}

void CmdNorvo_TCP::EthreadyRead()
{
    tcpLink.takeBuffered();
}

// --- status and teardown -----------------------------------------------------

int CmdNorvo_TCP::Connection_status()
{
    const LinkTransport *link = exchange.link();
    return link && link->isUsable() ? 0 : -3;
}

int CmdNorvo_TCP::deletetcpSocket()
{
    delete tcpSocket;
    tcpSocket = nullptr;
    return 0;
}

int CmdNorvo_TCP::deleteSerialPort()
{
    delete serialPort;
    serialPort = nullptr;
    delete recvTimer;
    recvTimer = nullptr;
    return 0;
}

// Both sides go: a link left open would still answer after the host let
// go of the driver.
int CmdNorvo_TCP::DestroyFree()
{
    if (!serialPort && !tcpSocket)
        return 1;
    if (serialPort) {
        serialDisConnectDrive();
        deleteSerialPort();
    }
    if (tcpSocket) {
        if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
            EthDisConnectDrive();
        deletetcpSocket();
    }
    return 0;
}

// --- waits ----------------------------------------------------------------------

int CmdNorvo_TCP::waitForReady(int ms)
{
    LinkTransport *link = exchange.link();
    const bool device = link == &tcpLink ? tcpSocket != nullptr : link == &serialLink && serialPort;
    if (!device)
        return 1;
    link->waitForInput(ms);
    return 0;
}

void CmdNorvo_TCP::mysleep(int ms)
{
    if (LinkTransport *link = exchange.link())
        link->pause(ms);
    else
        linkPause([] { return -1; }, ms);
}
