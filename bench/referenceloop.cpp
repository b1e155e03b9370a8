#include "referenceloop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Station 1 reads 16 registers from D100, as the PLC sees it on the wire:
// 0x02 "01" "46" "10" "D0" "0100" checksum "63" 0x03. The driver sends the
// same bytes for ReadVariable("D100", DT_UInt16, 16).
const char read16Request[] = "\x02" "014610D00100" "63" "\x03";
// The driver's waits.
constexpr int firstBytesWaitMs = 300;
constexpr int lookEveryMs = 10;
constexpr int lookForMs = 50;

int connectTo(const QString &tcpConnection)
{
    const int colon = tcpConnection.lastIndexOf(QLatin1Char(':'));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(quint16(tcpConnection.mid(colon + 1).toUInt()));
    if (colon < 0 || inet_pton(AF_INET, tcpConnection.left(colon).toLatin1().constData(),
                               &address.sin_addr) != 1)
        return -1;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class Answer
{
public:
    // Takes what has arrived, without waiting; false when the peer closed
    // or the answer outgrew the buffer.
    bool takeArrived(int fd)
    {
        const ssize_t got = ::recv(fd, bytes + size, sizeof bytes - size, MSG_DONTWAIT);
        if (got > 0)
            size += std::size_t(got);
        return got != 0 && size < sizeof bytes;
    }
    // Data characters are hex digits: the end byte only ends a frame.
    bool isWhole() const { return size > 0 && bytes[size - 1] == '\x03'; }

private:
    char bytes[2048];
    std::size_t size = 0;
};

void sleepMs(int ms)
{
    ::poll(nullptr, 0, ms);
}

bool exchange(int fd, int pauseMs)
{
    if (::write(fd, read16Request, sizeof read16Request - 1) != ssize_t(sizeof read16Request - 1))
        return false;
    pollfd readable{fd, POLLIN, 0};
    Answer answer;
    if (::poll(&readable, 1, firstBytesWaitMs) != 1 || !answer.takeArrived(fd))
        return false;
    sleepMs(pauseMs);
    for (int looked = 0;; looked += lookEveryMs) {
        if (!answer.isWhole() && !answer.takeArrived(fd))
            return false;
        if (answer.isWhole())
            return true;
        if (looked >= lookForMs)
            return false;
        sleepMs(lookEveryMs);
    }
}

} // namespace

PlainSocketClient::PlainSocketClient(const QString &tcpConnection)
    : fd(connectTo(tcpConnection))
{
}

PlainSocketClient::~PlainSocketClient()
{
    if (fd >= 0)
        ::close(fd);
}

ExchangeRun PlainSocketClient::run(int count, int pauseMs)
{
    if (fd < 0)
        return ExchangeRun();
    return timeExchanges(count, [&](int) { return exchange(fd, pauseMs) ? 0 : -1; });
}

ExchangeRun runPlainSocketExchanges(const QString &tcpConnection, int count, int pauseMs)
{
    PlainSocketClient client(tcpConnection);
    return client.run(count, pauseMs);
}
