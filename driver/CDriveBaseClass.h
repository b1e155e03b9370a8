// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef CDRIVEBASECLASS_H
#define CDRIVEBASECLASS_H

#include "CLabelVariable.h"

#include <QtCore/QObject>
#include <QtCore/QString>

// A fixed underlying type: a host may pass any int, and loading a value
// outside the enumerators is then defined.
enum EDebugCmdType : int {
    EDebugStart = 0,     // switch the request/answer log on
    EDebugStop = 1,      // switch it off
    EDebugBuildInfo = 2, // the build text
    EDebugDriveName = 3  // the driver's name
};

// The host's view of a driver. The slot order is binding: the host calls
// through this table. There is deliberately no virtual destructor; the
// object is destroyed as the QObject it also is.
class CDriveBaseClass
{
public:
    virtual QString getDriveName() = 0;
    virtual QString getversion_number() = 0;
    virtual QString DebugCmd(EDebugCmdType command) = 0;
    virtual int ConnectDrive(QString par) = 0;
    virtual int SetConnectPar(QString par) = 0;
    virtual int DisConnectDrive() = 0;
    virtual CLabelVariable ReadVariable(QString label, DataType type) = 0;
    virtual CLabelVariable ReadVariable(QString label, DataType type, int count) = 0;
    virtual CLabelVariable WriteVariable(QString label, DataType type, CLabelVariable record) = 0;
    virtual CLabelVariable WriteVariable(QString label, DataType type, CLabelVariable record,
                                         int count) = 0;
    virtual int DestroyFree() = 0;
};

Q_DECLARE_INTERFACE(CDriveBaseClass, "CDriveBaseClass")

// The plug-in's one entry point: a new driver, owned by the caller.
extern "C" CDriveBaseClass *getSharedLibrary();

#endif // CDRIVEBASECLASS_H
