// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMSCRIPTEDPLC_H
#define SIMSCRIPTEDPLC_H

#include "simscript.h"
#include "simserver.h"

// A scripted PLC for tests: a SimScript served from its own thread, to one
// driver over loopback TCP or a pty.
//
//     SimScriptedPlc plc;
//     plc.setResponder([](const QByteArray &request) {
//         return SimFrame::answer(SimFrame::parseRequest(request), SimErrorCode::none, "12AB0005");
//     });
//     QVERIFY(plc.listenTcp());          // or plc.openPty()
//     ... connect the driver to 127.0.0.1:plc.tcpPort() (or plc.ptyPath())
//     QCOMPARE(plc.requests().size(), 1);
//
// With setEngineAnswers(true) the simulated PLC behind server() answers
// whatever no responder takes.
class SimScriptedPlc : public SimScript
{
public:
    explicit SimScriptedPlc(int station = 1) : plc(station) { plc.setScript(this); }

    bool listenTcp() { return plc.startTcp(); }
    // Behind a serial-to-Ethernet gateway (SimServer::startGateway).
    bool listenGateway() { return plc.startGateway(); }
    quint16 tcpPort() const { return plc.port(); }
    bool openPty() { return plc.startPty(); }
    QString ptyPath() const { return plc.ptyPath(); }
    bool lineSettings(termios *settings) const { return plc.ptyLineSettings(settings); }

    // Closes the TCP connection (no effect on a pty).
    void dropConnection() { plc.closeConnections(); }
    // Pushes unsolicited bytes to the driver.
    void sendRaw(const QByteArray &bytes) { plc.push(bytes); }

    // The simulated PLC: memory, station, faults.
    SimServer &server() { return plc; }

private:
    SimServer plc; // goes first on destruction, before the script it serves
};

#endif
