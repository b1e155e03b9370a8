// SPDX-License-Identifier: LGPL-2.1-or-later
#include "HostSession.h"

#include "LinkDropWarning.h"

namespace {

std::atomic<int> disconnectLines { 0 };
std::atomic<int> closedSocketLines { 0 };
QtMessageHandler previous = nullptr;

void handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (isLinkDropWarning(type, message)) {
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
