// The link itself: opening and closing the serial port or TCP socket, the
// receive path into recvBuffer, the status test and the waits.
#include "CmdNorvo_TCP.h"

#include <QtCore/QDebug>
#include <QtCore/QEventLoop>
#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>
#include <QtSerialPort/QSerialPort>

namespace {

// Baud rates the port accepts, and the silence after which a serial
// delivery counts as complete at that rate (0: keep the current value).
struct BaudSetting
{
    int baudRate;
    int idleMs;
};
constexpr BaudSetting baudSettings[] = {
    { 1200, 0 },  { 2400, 10 },  { 4800, 6 },   { 9600, 3 },
    { 19200, 0 }, { 38400, 0 }, { 57600, 0 }, { 115200, 0 },
};

} // namespace

CmdNorvo_TCP::CmdNorvo_TCP()
    : QObject(nullptr)
{
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
    if (serialPort->isOpen()) {
        serialPort->clear(QSerialPort::AllDirections);
        serialPort->close();
    }
    // A NUL cuts the device path short: Qt would open (and lock) another
    // name than the one asked for and leave its lock file behind.
    if (portName.contains(QChar::Null))
        return -1;
    serialPort->setPortName(portName);
    if (!serialPort->open(QIODevice::ReadWrite))
        return -1;
    serialOpenedLast = true;

    // Values outside the tables leave the port's setting as it is.
    for (const BaudSetting &setting : baudSettings) {
        if (setting.baudRate == baudRate) {
            serialPort->setBaudRate(baudRate, QSerialPort::AllDirections);
            if (setting.idleMs > 0)
                recvIdleMs = setting.idleMs;
        }
    }
    if (dataBits >= 5 && dataBits <= 8)
        serialPort->setDataBits(QSerialPort::DataBits(dataBits));
    if (stopBits == 1)
        serialPort->setStopBits(QSerialPort::OneStop);
    else if (stopBits == 2)
        serialPort->setStopBits(QSerialPort::TwoStop);
    else if (stopBits == 3)
        serialPort->setStopBits(QSerialPort::OneAndHalfStop);
    if (parity.contains(QLatin1Char('N'), Qt::CaseInsensitive))
        serialPort->setParity(QSerialPort::NoParity);
    else if (parity.contains(QLatin1Char('E'), Qt::CaseInsensitive))
        serialPort->setParity(QSerialPort::EvenParity);
    else if (parity.contains(QLatin1Char('O'), Qt::CaseInsensitive))
        serialPort->setParity(QSerialPort::OddParity);
    serialPort->setFlowControl(QSerialPort::NoFlowControl);

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
    if (!serialPort || !serialPort->isOpen())
        return 1;
    serialPort->clear(QSerialPort::AllDirections);
    serialPort->close();
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
    // A socket still connected (or connecting) would ignore the new address
    // and report success for the old link: drop that first. The drop is
    // logged with the old address and port.
    if (tcpSocket && tcpSocket->state() != QAbstractSocket::UnconnectedState)
        tcpSocket->abort();

    tcpPort = port;
    if (!tcpSocket)
        tcpSocket = new QTcpSocket(this);
    if (!hostAddress.setAddress(ip))
        return -1;
    serialOpenedLast = false;

    connect(tcpSocket, &QTcpSocket::connected, this, &CmdNorvo_TCP::Ethconnected,
            Qt::UniqueConnection);
    connect(tcpSocket, &QTcpSocket::disconnected, this, &CmdNorvo_TCP::Ethdisconnected,
            Qt::UniqueConnection);
    connect(tcpSocket, &QTcpSocket::readyRead, this, &CmdNorvo_TCP::EthreadyRead,
            Qt::UniqueConnection);

    tcpSocket->connectToHost(hostAddress, quint16(port), QIODevice::ReadWrite);
    tcpSocket->waitForConnected(1000);

    const auto state = tcpSocket->state();
    return (state == QAbstractSocket::ConnectingState || state == QAbstractSocket::ConnectedState)
        ? 0 : -3;
}

int CmdNorvo_TCP::EthDisConnectDrive()
{
    if (!tcpSocket)
        return 1;
    tcpSocket->close();
    tcpSocket->disconnectFromHost();
    if (tcpSocket->state() != QAbstractSocket::UnconnectedState)
        tcpSocket->waitForDisconnected(30000);
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
    while (tcpSocket && tcpSocket->bytesAvailable() > 0)
        recvBuffer.append(tcpSocket->read(tcpSocket->bytesAvailable()));
}

// --- status and teardown -----------------------------------------------------

int CmdNorvo_TCP::Connection_status()
{
    if (linkDevice() == tcpSocket && tcpSocket)
        return tcpSocket->state() == QAbstractSocket::ConnectedState ? 0 : -3;
    return (serialPort && serialPort->isOpen()) ? 0 : -3;
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
    QIODevice *device = linkDevice();
    if (!device)
        return 1;
    // With nothing left to write, a serial port would sit out the whole
    // wait here (taking in the answer unseen) and then wait again below.
    if (device->bytesToWrite() > 0)
        device->waitForBytesWritten(ms);
    device->waitForReadyRead(ms);
    return 0;
}

// Where both link objects exist the socket is the link, unless the serial
// port was opened after it and is still open: a host that moves from TCP to
// a serial line must reach the PLC on that line, not the old socket.
QIODevice *CmdNorvo_TCP::linkDevice() const
{
    if (serialOpenedLast && serialPort && serialPort->isOpen())
        return serialPort;
    if (tcpSocket)
        return tcpSocket;
    return serialPort;
}

void CmdNorvo_TCP::mysleep(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::AllEvents);
}
