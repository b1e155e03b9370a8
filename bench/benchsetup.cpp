#include "benchsetup.h"

#include "simprocess.h"

#include "CDriveBaseClass.h"
#include "PluginLoader.h"

HostDriver::HostDriver(const PluginLoader &plugin)
    : driver(plugin.createDriver())
{
}

HostDriver::~HostDriver()
{
    if (!driver)
        return;
    driver->DisConnectDrive();
    driver->DestroyFree();
    PluginLoader::destroyDriver(driver);
}

QString HostDriver::connect(const QString &connection, int station)
{
    if (!driver)
        return QStringLiteral("the plug-in gave no driver");
    if (driver->SetConnectPar(QString::number(station)) != station)
        return QStringLiteral("station %1 refused").arg(station);
    const int result = driver->ConnectDrive(connection);
    if (result != 0)
        return QStringLiteral("ConnectDrive(\"%1\") gave %2").arg(connection).arg(result);
    return QString();
}

QString connectToSimulator(SimProcess *sim, HostDriver *driver, QStringList simArguments,
                           int station)
{
    simArguments << QStringLiteral("--station") << QString::number(station);
    if (!sim->start(simArguments))
        return sim->errorString();
    return driver->connect(sim->connectionString(), station);
}
