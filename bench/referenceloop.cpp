#include "referenceloop.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Station 1 reads 16 registers from D100, as the PLC sees it on the wire:
// 0x02 "01" "46" "10" "D0" "0100" checksum "63" 0x03.
const char read16Request[] = "\x02" "014610D00100" "63" "\x03";
constexpr int answerWaitMs = 300;

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

// Reads until the answer's end byte; false when it does not come in time.
bool awaitAnswer(int fd)
{
    char buffer[2048];
    for (;;) {
        pollfd readable{fd, POLLIN, 0};
        if (::poll(&readable, 1, answerWaitMs) != 1)
            return false;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        if (buffer[got - 1] == '\x03')
            return true;
    }
}

} // namespace

ExchangeRun runPlainSocketExchanges(const QString &tcpConnection, int count, int pauseMs)
{
    const int fd = connectTo(tcpConnection);
    if (fd < 0)
        return ExchangeRun();
    const ExchangeRun run = timeExchanges(count, [&](int) {
        const bool sent = ::write(fd, read16Request, sizeof read16Request - 1)
            == ssize_t(sizeof read16Request - 1);
        const bool answered = sent && awaitAnswer(fd);
        ::poll(nullptr, 0, pauseMs);
        return answered ? 0 : -1;
    });
    ::close(fd);
    return run;
}
