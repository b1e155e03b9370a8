// The link itself: opening and closing the serial port or TCP socket, the
// receive path into recvBuffer, the status test and the waits.
#include "CmdNorvo_TCP.h"

#include <QtCore/QAbstractEventDispatcher>
#include <QtCore/QCoreApplication>
#include <QtCore/QDebug>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>
#include <QtSerialPort/QSerialPort>

#include <poll.h>

CmdNorvo_TCP::CmdNorvo_TCP()
    : QObject(nullptr)
{
    clock.start();
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
    if (!serialPort)
        serialPort = new QSerialPort(this);
    // Nothing owed on another link can come over this line.
    if (activeLink() != &serialLink)
        owed.clear();
    if (!serialLink.open(portName, baudRate, dataBits, stopBits, parity, recvIdleMs))
        return -1;
    serialOpenedLast = true;

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

// A serial answer is complete once the line has been quiet for recvIdleMs.
void CmdNorvo_TCP::serialreadyRead()
{
    if (!recvTimer)
        return;
    recvTimer->stop();
    recvTimer->start(recvIdleMs);
}

void CmdNorvo_TCP::TimerTimeOut()
{
    if (recvTimer && recvTimer->isActive())
        recvTimer->stop();
    // Appended: an answer may come in several bursts within one exchange.
    // Everything buffered, read by its count: readAll() on a port would take
    // a 16 KiB block and shrink it on every delivery.
    if (serialPort)
        recvBuffer.append(serialPort->read(serialPort->bytesAvailable()));
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
    serialOpenedLast = false;
    // Nothing the old connection owed can come over a new one.
    owed.clear();

    connect(tcpSocket, &QTcpSocket::connected, this, &CmdNorvo_TCP::Ethconnected,
            Qt::UniqueConnection);
    connect(tcpSocket, &QTcpSocket::disconnected, this, &CmdNorvo_TCP::Ethdisconnected,
            Qt::UniqueConnection);
    connect(tcpSocket, &QTcpSocket::readyRead, this, &CmdNorvo_TCP::EthreadyRead,
            Qt::UniqueConnection);

    return tcpLink.open(hostAddress, quint16(port)) ? 0 : -3;
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
    // Appended: an answer may come in several reads within one exchange.
    const qint64 available = tcpSocket ? tcpSocket->bytesAvailable() : 0;
    if (available > 0)
        recvBuffer.append(tcpSocket->read(available));
}

// --- status and teardown -----------------------------------------------------

// Where both link objects exist the socket is the link, unless the serial
// port was opened after it and is still open: a host that moves from TCP to
// a serial line must reach the PLC on that line, not the old socket.
LinkTransport *CmdNorvo_TCP::activeLink() const
{
    auto *self = const_cast<CmdNorvo_TCP *>(this);
    if (serialOpenedLast && serialLink.isUsable())
        return &self->serialLink;
    if (tcpSocket)
        return &self->tcpLink;
    if (serialPort)
        return &self->serialLink;
    return nullptr;
}

int CmdNorvo_TCP::Connection_status()
{
    const LinkTransport *link = activeLink();
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

int CmdNorvo_TCP::DestroyFree()
{
    if (serialPort) {
        serialDisConnectDrive();
        deleteSerialPort();
        return 0;
    }
    if (tcpSocket) {
        if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
            EthDisConnectDrive();
        deletetcpSocket();
        return 0;
    }
    return 1;
}

// --- waits ----------------------------------------------------------------------

int CmdNorvo_TCP::waitForReady(int ms)
{
    LinkTransport *link = activeLink();
    QIODevice *device = link ? link->device() : nullptr;
    if (!device)
        return 1;
    // The request goes out first. With nothing left to write, a serial port
    // would sit out the whole wait here (taking in the answer unseen) and
    // then wait again for input.
    if (device->bytesToWrite() > 0)
        device->waitForBytesWritten(ms);
    recvBuffer.append(link->awaitInput(ms));
    return 0;
}

// The pause sleeps, waking whenever the link has bytes, and handles every
// event of the thread that came meanwhile: the receive slots, the serial
// idle timer and the host's own. A nested event loop that waits for a timer
// costs about as much CPU as the rest of an exchange.
void CmdNorvo_TCP::mysleep(int ms)
{
    const bool events = QAbstractEventDispatcher::instance() != nullptr;
    const LinkTransport *link = activeLink();
    QElapsedTimer slept;
    slept.start();
    // Bounded, in case the system keeps reporting bytes no slot takes.
    constexpr int maxWakes = 16;
    for (int wakes = 0;; ++wakes) {
        const int left = ms - int(slept.elapsed());
        const int fd = link && events && wakes < maxWakes ? link->descriptor() : -1;
        pollfd input { fd, POLLIN, 0 };
        if (left > 0)
            ::poll(&input, fd < 0 ? 0 : 1, left);
        if (events)
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (left <= 0 || slept.elapsed() >= ms)
            return;
    }
}
