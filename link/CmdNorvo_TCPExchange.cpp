// One request, one answer: sending, waiting, and what counts as an answer.
#include "CmdNorvo_TCP.h"
#include "NorvoFrame.h"

#include <QtCore/QTimer>
#include <QtNetwork/QTcpSocket>
#include <QtSerialPort/QSerialPort>

#include <algorithm>

#include <sys/socket.h>

namespace {

// How long an exchange polls for the answer once the first bytes are due.
constexpr int answerPollMs = 50;
// How long the exchange after one without a whole answer waits for that
// answer before sending its own request.
constexpr int owedAnswerWaitMs = 200;

// Sets the flag for the lifetime of one exchange.
class ExchangeScope
{
public:
    explicit ExchangeScope(bool &flag) : flag_(flag) { flag_ = true; }
    ~ExchangeScope() { flag_ = false; }
    ExchangeScope(const ExchangeScope &) = delete;
    ExchangeScope &operator=(const ExchangeScope &) = delete;

private:
    bool &flag_;
};

// Time in ms that chars characters take on a serial line.
int serialWireMs(int chars, const QSerialPort &port)
{
    // Rates the port could not report are taken as the slowest one offered.
    const int baud = port.baudRate() > 0 ? port.baudRate() : 1200;
    const int dataBits = port.dataBits() >= 5 && port.dataBits() <= 8 ? port.dataBits() : 8;
    const int parityBits = port.parity() == QSerialPort::NoParity ? 0 : 1;
    // In half bits, so that 1.5 stop bits stay exact.
    int stopHalfBits = 2;
    if (port.stopBits() == QSerialPort::TwoStop)
        stopHalfBits = 4;
    else if (port.stopBits() == QSerialPort::OneAndHalfStop)
        stopHalfBits = 3;
    const qint64 halfBitsPerChar = 2 * (1 + dataBits + parityBits) + stopHalfBits;
    const qint64 halfBitsPerSecond = 2 * qint64(baud);
    return int((chars * halfBitsPerChar * 1000 + halfBitsPerSecond - 1) / halfBitsPerSecond);
}

} // namespace

unsigned char CmdNorvo_TCP::cs_Check(QByteArray data, unsigned count)
{
    return NorvoFrame::checksum(data, count);
}

unsigned short CmdNorvo_TCP::GetHexconversionchar(unsigned short value)
{
    return NorvoFrame::hexChar(value);
}

unsigned short CmdNorvo_TCP::GetcharconversionHex(unsigned short code)
{
    return NorvoFrame::hexValue(code);
}

int CmdNorvo_TCP::Only_send(QByteArray frame)
{
    QIODevice *device = linkDevice();
    if (!device)
        return 1;
    if (!device->isOpen()) // a dropped link: nothing to write to
        return 1;
    device->write(frame);
    if (device == tcpSocket)
        tcpSocket->flush();
    else
        serialPort->flush();
    return 0;
}

// Before a request goes out, whatever an earlier exchange left behind is
// dropped: its late answer, in recvBuffer or still unread on the link,
// must not pass for this request's answer.
void CmdNorvo_TCP::discardStaleInput()
{
    if (tcpSocket && linkDevice() == tcpSocket) {
        // Let the socket take in what the system holds for it (bytes, or the
        // peer's close) without waiting; a wait that times out would leave
        // its time-out as the socket's last error.
        for (int i = 0; i < 8 && tcpSocket->state() == QAbstractSocket::ConnectedState; ++i) {
            char probe;
            if (::recv(int(tcpSocket->socketDescriptor()), &probe, 1, MSG_PEEK | MSG_DONTWAIT) < 0)
                break;
            tcpSocket->waitForReadyRead(0);
        }
        // Dropped by count, as readAll() would take and shrink a 16 KiB
        // block on every exchange.
        if (tcpSocket->isOpen())
            tcpSocket->read(tcpSocket->bytesAvailable());
    } else if (serialPort && serialPort->isOpen()) {
        if (recvTimer)
            recvTimer->stop();
        serialPort->clear(QSerialPort::Input);
        serialPort->read(serialPort->bytesAvailable());
    }
    recvBuffer.clear();
}

// Data characters are hex digits, so the end byte can only end a frame.
bool CmdNorvo_TCP::answerComplete() const
{
    return recvBuffer.endsWith(NorvoFrame::EndByte);
}

int CmdNorvo_TCP::SendData(QByteArray request, QByteArray &reply, int timeoutMs)
{
    // A nested exchange would clear the buffer under the waiting one.
    if (exchangeActive)
        return -1;
    ExchangeScope scope(exchangeActive);

    awaitOwedAnswer();
    discardStaleInput();
    Only_send(request);
    waitForReady(300);
    mysleep(5);
    if (timeoutMs < 1) {
        answerOwed = true;
        return -1;
    }

    if (!answerComplete()) {
        for (int elapsed = 0;;) {
            elapsed += 10;
            mysleep(10);
            if (elapsed >= timeoutMs) {
                // Time is up: a partial answer still goes to the command,
                // which refuses it; nothing at all means no answer.
                if (recvBuffer.isEmpty()) {
                    answerOwed = true;
                    return -1;
                }
                break;
            }
            if (answerComplete())
                break;
        }
    }
    answerOwed = !answerComplete();
    reply.append(recvBuffer);
    recvBuffer.clear();
    return 0;
}

// Answers name no address: the answer to a request that timed out would pass
// for the answer to the next request of the same shape. So after an exchange
// that got no whole answer, the next one first gives that answer a while to
// arrive and throws it away before sending. An answer later than that cannot
// be told apart on this protocol.
void CmdNorvo_TCP::awaitOwedAnswer()
{
    if (!answerOwed)
        return;
    answerOwed = false;
    for (int elapsed = 0; elapsed < owedAnswerWaitMs && !answerComplete(); elapsed += 10)
        mysleep(10);
}

// On a serial line the request and the answer take their time on the wire:
// at 1200 baud a 20-character answer alone needs about 170 ms.
int CmdNorvo_TCP::exchangeTimeoutMs(const NorvoRequest &request) const
{
    if (!serialPort || linkDevice() != serialPort)
        return answerPollMs;
    const int answerChars = std::max(request.expectedAnswerLength(), NorvoFrame::AnswerOverhead);
    return answerPollMs + serialWireMs(request.frame().size() + answerChars, *serialPort);
}
