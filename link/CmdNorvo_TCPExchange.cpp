// SPDX-License-Identifier: LGPL-2.1-or-later
// The frame helpers and the exchange of a frame made elsewhere; commands
// go through the same exchange (CmdNorvo_TCPCommands.cpp).
#include "CmdNorvo_TCP.h"
#include "NorvoFrame.h"

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
    LinkTransport *link = exchange.link();
    return link && link->write(frame) ? 0 : 1;
}

// 0 with the frame that came (good or not) appended to reply, -1 with none.
int CmdNorvo_TCP::SendData(QByteArray request, QByteArray &reply, int timeoutMs)
{
    if (exchange.isRunning())
        return -1;
    exchange.takeStaleInput();
    const LinkExchange::Result result = exchange.exchange(NorvoRequest::ofFrame(request), timeoutMs);
    if (result.answer.isEmpty())
        return -1;
    reply.append(result.answer);
    return 0;
}
