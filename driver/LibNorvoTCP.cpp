#include "LibNorvoTCP.h"

// Skeleton: to be completed.
LibNorvoTCP::LibNorvoTCP() = default;
LibNorvoTCP::~LibNorvoTCP() = default;
QString LibNorvoTCP::getDriveName() { return QString(); }
QString LibNorvoTCP::getversion_number() { return QString(); }
QString LibNorvoTCP::DebugCmd(EDebugCmdType) { return QString(); }
int LibNorvoTCP::DisConnectDrive() { return 1; }
int LibNorvoTCP::ConnectDrive(QString) { return -4; }
int LibNorvoTCP::SetConnectPar(QString) { return 0; }
CLabelVariable LibNorvoTCP::ReadVariable(QString addr, DataType type)
{
    return ReadVariable(addr, type, 1);
}
CLabelVariable LibNorvoTCP::ReadVariable(QString, DataType, int) { return CLabelVariable(); }
CLabelVariable LibNorvoTCP::WriteVariable(QString addr, DataType type, CLabelVariable record)
{
    return WriteVariable(addr, type, record, 1);
}
CLabelVariable LibNorvoTCP::WriteVariable(QString, DataType, CLabelVariable, int)
{
    return CLabelVariable();
}
int LibNorvoTCP::DestroyFree() { return 1; }

extern "C" NORVO_EXPORT CDriveBaseClass *getSharedLibrary()
{
    return new LibNorvoTCP;
}
