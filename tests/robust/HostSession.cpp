#include "HostSession.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

std::atomic<int> disconnectLines { 0 };
std::atomic<int> closedSocketLines { 0 };
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("lib[Norvo]"))
        && message.contains(QLatin1String(" Disconnected="))) {
        ++disconnectLines;
        return;
    }
    if (type == QtWarningMsg && message == QLatin1String("QIODevice::read (QTcpSocket): device not open")) {
        ++closedSocketLines;
        return;
    }
    if (previous)
        previous(type, context, message);
}

} // namespace

QuietLinkMessages::QuietLinkMessages()
{
    previous = qInstallMessageHandler(handler);
}

QuietLinkMessages::~QuietLinkMessages()
{
    qInstallMessageHandler(previous);
}

int QuietLinkMessages::disconnects()
{
    return disconnectLines;
}

int QuietLinkMessages::readsOnClosedSocket()
{
    return closedSocketLines;
}

quint16 refusingPort()
{
    static const quint16 port = [] {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
            || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
            return quint16(0);
        return quint16(ntohs(address.sin_port));
    }();
    return port;
}
