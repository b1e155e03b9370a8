// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LibNorvoTCP.h"

#include "Limits.h"
#include "buildinfo.h"

// Identity, the debug switch, the station number and opening and closing the link.

QString LibNorvoTCP::getDriveName()
{
    return QStringLiteral("Norvo");
}

QString LibNorvoTCP::getversion_number()
{
    // The release date stays as the host has always read it.
    return QStringLiteral("V" NORVO_VERSION " 20230221");
}

QString LibNorvoTCP::DebugCmd(EDebugCmdType command)
{
    switch (command) {
    case EDebugStart:
        if (!cmd.debugOn)
            cmd.debugOn = true;
        return QStringLiteral("StartDebug");
    case EDebugStop:
        if (cmd.debugOn)
            cmd.debugOn = false;
        return QStringLiteral("StopDebug");
    case EDebugBuildInfo: {
        static const QDate buildDate = BuildInfo::compileDate();
        return BuildInfo::buildText(buildDate, BuildInfo::compileTime());
    }
    case EDebugDriveName:
        return getDriveName();
    }
    return QString();
}

int LibNorvoTCP::SetConnectPar(QString par)
{
    // A larger number would address another PLC on a shared line, so it is
    // refused.
    const uint station = par.toUInt(nullptr, 10); // 0 when the text is no number
    if (station > uint(Limits::maxStation))
        return -1;
    stationNo = int(station);
    return stationNo;
}

int LibNorvoTCP::ConnectDrive(QString par)
{
    const ConnectionString settings = ConnectionString::parse(par);
    if (settings.isComplete())
        cmd.setAnswerWait(settings.answerWaitMs);
    switch (settings.kind) {
    case ConnectionString::Serial:
        // Stored even when incomplete: DisConnectDrive decides from it.
        serialLine = settings;
        if (!settings.isComplete())
            return -1;
        return cmd.serialConnectDrive(settings.portName, settings.baudRate, settings.dataBits,
                                      settings.stopBits, settings.parity);
    case ConnectionString::Tcp:
        tcpLink = settings;
        if (!settings.isComplete())
            return -1;
        return cmd.EthConnectDrive(settings.host, settings.port);
    case ConnectionString::Unrecognised:
        break;
    }
    return -4;
}

int LibNorvoTCP::DisConnectDrive()
{
    // Whatever is open goes, so that no request reaches a PLC after a
    // disconnect; a socket object (kept after a drop) is closed as well.
    const int serial = cmd.serialDisConnectDrive();
    const int tcp = tcpLink.port > 0 ? cmd.EthDisConnectDrive() : 1;
    return serial == 0 || tcp == 0 ? 0 : 1;
}

int LibNorvoTCP::DestroyFree()
{
    return cmd.DestroyFree();
}
