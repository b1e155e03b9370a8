// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simplc.h"

#include "simframe.h"

SimPlc::SimPlc(int station)
    : stationNo(station)
{
}

bool SimPlc::isAddressedToMe(const QByteArray &frame) const
{
    return SimFrame::parseRequest(frame).station == stationNo;
}

QByteArray SimPlc::respond(const QByteArray &frame)
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

QByteArray SimPlc::refuse(const QByteArray &frame, char errorCode) const
{
    const SimRequest request = SimFrame::parseRequest(frame);
    if (request.station != stationNo)
        return QByteArray();
    return SimFrame::answer(request, errorCode);
}
