// SPDX-License-Identifier: LGPL-2.1-or-later
// What every example does first and last, as a panel runtime does: load the
// plug-in by its soname, make a driver, give it its station, open the link;
// at the end close the link and destroy the driver.
#ifndef NORVO_EXAMPLES_HOST_H
#define NORVO_EXAMPLES_HOST_H

#include <norvo/CDriveBaseClass.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QObject>
#include <QtCore/QString>

#include <cstdio>
#include <dlfcn.h>

// Exit statuses, as norvo's: 1 a read or write failed, 2 bad arguments,
// 3 the plug-in did not load, 4 the link did not open.
enum ExitStatus { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitPlugin = 3, ExitLink = 4 };

// A new driver from the plug-in, or null when it does not load. The host
// links libLibNorvo for CLabelVariable's functions, so the soname finds the
// library already loaded; a host that links nothing of it finds it in the
// library path. The plug-in stays loaded: Qt keeps the functions of the list
// types it registered.
inline CDriveBaseClass *loadDriver()
{
    void *lib = dlopen("libLibNorvo.so.1", RTLD_NOW);
    if (!lib) {
        std::fprintf(stderr, "%s\n", dlerror());
        return nullptr;
    }
    auto make = reinterpret_cast<CDriveBaseClass *(*)()>(dlsym(lib, "getSharedLibrary"));
    if (!make) {
        std::fprintf(stderr, "libLibNorvo.so.1 exports no getSharedLibrary\n");
        return nullptr;
    }
    return make();
}

// Sets the station (0 to 255) and opens the link: ExitOk, or why not.
inline int connectDriver(CDriveBaseClass *drive, const QString &connection, const QString &station)
{
    bool number = false;
    station.toUInt(&number);
    if (!number || drive->SetConnectPar(station) < 0) {
        std::fprintf(stderr, "station %s: give a number from 0 to 255\n", qPrintable(station));
        return ExitUsage;
    }
    // "127.0.0.1:500", "/dev/ttyS1,9600,8,1,N", either with ";timeout=MS".
    const int opened = drive->ConnectDrive(connection);
    std::printf("ConnectDrive(\"%s\") = %d\n", qPrintable(connection), opened);
    return opened == 0 ? ExitOk : ExitLink;
}

// A clean DisConnectDrive of a TCP link logs the same Qt warning as a
// dropped one, "lib[Norvo]ADDRESS:PORT Disconnected=-1": expected.
inline void destroyDriver(CDriveBaseClass *drive)
{
    drive->DisConnectDrive();
    drive->DestroyFree();
    delete dynamic_cast<QObject *>(drive); // the interface has no virtual destructor
}

// Prints what a failed read or write gave, and answers whether it failed.
inline bool failed(const char *what, const CLabelVariable &result)
{
    if (result.status == 0)
        return false;
    std::printf("%s: status %d\n", what, result.status);
    return true;
}

// main() of the examples that take CONNECTION [STATION]: the driver is
// loaded and connected for body(drive), and destroyed after it.
template <typename Body>
int runWithDriver(int argc, char *argv[], const char *name, Body body)
{
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: %s CONNECTION [STATION]\n", name);
        return ExitUsage;
    }
    CDriveBaseClass *drive = loadDriver();
    if (!drive)
        return ExitPlugin;
    int status = connectDriver(drive, QString::fromLocal8Bit(argv[1]), argc > 2 ? argv[2] : "1");
    if (status == ExitOk)
        status = body(drive);
    destroyDriver(drive);
    return status;
}

#endif // NORVO_EXAMPLES_HOST_H
