// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMPLC_H
#define SIMPLC_H

#include "simmemory.h"

#include <QtCore/QByteArray>

// The PLC itself: its station number and memory, and the answer to each
// request frame. No I/O, no time, no threads.
class SimPlc
{
public:
    explicit SimPlc(int station = 1);

    int station() const { return stationNo; }
    void setStation(int station) { stationNo = station; }

    SimMemory &memory() { return mem; }
    const SimMemory &memory() const { return mem; }

    // True when the frame carries this PLC's station number. Every other
    // frame is left unanswered, as on a shared RS-485 line, where answering
    // a frame whose station cannot even be read would garble the line.
    bool isAddressedToMe(const QByteArray &frame) const;

    // Carries out one request and gives its answer; empty when the frame is
    // not for this PLC. A refused request changes nothing.
    QByteArray respond(const QByteArray &frame);

    // The answer refusing the frame with `errorCode`, without carrying it
    // out; empty when the frame is not for this PLC.
    QByteArray refuse(const QByteArray &frame, char errorCode) const;

private:
    int stationNo;
    SimMemory mem;
};

#endif
