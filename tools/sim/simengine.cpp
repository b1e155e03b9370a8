// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simengine.h"

#include "simframe.h"

SimEngine::SimEngine(int station)
    : stationNo(station)
{
}

bool SimEngine::isAddressedToMe(const QByteArray &frame) const
{
    return SimFrame::parseRequest(frame).station == stationNo;
}

QByteArray SimEngine::respond(const QByteArray &frame)
{
    const SimRequest request = SimFrame::parseRequest(frame);
    if (request.station != stationNo)
        return QByteArray();
    if (request.error != SimErrorCode::none)
        return SimFrame::answer(request, request.error);

    if (request.isBitRead()) {
        const QVector<quint16> bits = mem.readRun(request.area, request.start, request.count);
        return SimFrame::answer(request, SimErrorCode::none, SimFrame::bitData(bits));
    }
    if (request.isRegisterRead()) {
        const QVector<quint16> words = mem.readRun(request.area, request.start, request.count);
        return SimFrame::answer(request, SimErrorCode::none, SimFrame::registerData(words));
    }
    mem.writeRun(request.area, request.start, request.values);
    return SimFrame::answer(request, SimErrorCode::none);
}

QByteArray SimEngine::refuse(const QByteArray &frame, char errorCode) const
{
    const SimRequest request = SimFrame::parseRequest(frame);
    if (request.station != stationNo)
        return QByteArray();
    return SimFrame::answer(request, errorCode);
}
