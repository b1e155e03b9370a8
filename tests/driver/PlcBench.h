#ifndef NORVO_TESTS_PLCBENCH_H
#define NORVO_TESTS_PLCBENCH_H

#include "LibNorvoTCP.h"
#include "PlcFrame.h"
#include "PlcPeer.h"
#include "RegisterPlc.h"

#include <QtCore/QList>
#include <QtCore/QString>

// A driver connected to a scripted register PLC, over loopback TCP or a pty.
// The driver goes first on destruction, so it closes its link while the PLC
// is still there.
struct PlcBench
{
    PlcBench() { plc.setResponder(memory.responder()); }

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
    QList<PlcFrame::Request> requests() const
    {
        QList<PlcFrame::Request> parsed;
        const QList<QByteArray> frames = plc.requests();
        for (const QByteArray &frame : frames)
            parsed.append(PlcFrame::parseRequest(frame));
        return parsed;
    }

    RegisterPlc memory;
    PlcPeer plc;
    LibNorvoTCP driver;
};

#endif
