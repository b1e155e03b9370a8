// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_TESTS_PLCBENCH_H
#define NORVO_TESTS_PLCBENCH_H

#include "LibNorvoTCP.h"
#include "simframe.h"
#include "simscriptedplc.h"

#include <QtCore/QList>
#include <QtCore/QString>

// A driver connected to the simulated PLC, over loopback TCP or a pty. The
// PLC answers from its memory until a test gives it a responder. The driver
// goes first on destruction, so it closes its link while the PLC is still
// there.
struct PlcBench
{
    PlcBench() { plc.setEngineAnswers(true); }

    bool connectTcp()
    {
        return plc.listenTcp()
            && driver.ConnectDrive(QStringLiteral("127.0.0.1:%1").arg(plc.tcpPort())) == 0
            && plc.waitForConnections(1, 5000);
    }

    bool connectPty()
    {
        return plc.openPty() && driver.ConnectDrive(plc.ptyPath() + ",9600,8,1,N") == 0;
    }

    // The requests the PLC received, parsed from its side.
    QList<SimRequest> requests() const
    {
        QList<SimRequest> parsed;
        const QList<QByteArray> frames = plc.requests();
        for (const QByteArray &frame : frames)
            parsed.append(SimFrame::parseRequest(frame));
        return parsed;
    }

    // The count of each request the PLC received, in order.
    QList<int> requestCounts() const
    {
        QList<int> counts;
        for (const SimRequest &request : requests())
            counts.append(request.count);
        return counts;
    }

    SimScriptedPlc plc;
    SimServer &memory = plc.server();
    LibNorvoTCP driver;
};

#endif
