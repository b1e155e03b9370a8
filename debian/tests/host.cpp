// SPDX-License-Identifier: LGPL-2.1-or-later
// A host as a panel runtime is one: it loads the installed plug-in by its
// soname, makes a driver and reads and writes a PLC through CDriveBaseClass.
//   host ADDRESS:PORT
// Expects D100 = 0x1234 in the PLC; writes D200..D203 and reads them back.
#include <norvo/CDriveBaseClass.h>

#include <QtCore/QCoreApplication>
#include <QtCore/QObject>

#include <cstdio>
#include <dlfcn.h>

namespace {

int failures = 0;

void expect(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAILED", what);
    if (!ok)
        ++failures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: host ADDRESS:PORT\n", stderr);
        return 2;
    }
    void *plugin = dlopen("libLibNorvo.so.1", RTLD_NOW);
    if (!plugin) {
        std::fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    auto make = reinterpret_cast<CDriveBaseClass *(*)()>(dlsym(plugin, "getSharedLibrary"));
    expect(make != nullptr, "the plug-in exports getSharedLibrary");
    if (!make)
        return 1;
    CDriveBaseClass *drive = make();
    std::printf("driver %s %s\n", qPrintable(drive->getDriveName()),
                qPrintable(drive->getversion_number()));

    expect(drive->SetConnectPar("1") == 1, "station 1 (SetConnectPar gives the station)");
    expect(drive->ConnectDrive(QString::fromLocal8Bit(argv[1])) == 0, "the TCP link opens");

    CLabelVariable loaded = drive->ReadVariable("D100", DT_UInt16, 1);
    expect(loaded.status == 0 && loaded.atUInt16(0) == 0x1234, "D100 reads 0x1234");

    CLabelVariable out;
    out.value = QVariant::fromValue(QList<int>{100000, -100000});
    CLabelVariable written = drive->WriteVariable("D200", DT_Int32, out, 2);
    expect(written.status == 0, "D200 int32 x2 written");
    CLabelVariable back = drive->ReadVariable("D200", DT_Int32, 2);
    expect(back.status == 0 && back.atInt32(0) == 100000 && back.atInt32(1) == -100000,
           "D200 int32 x2 reads back 100000 -100000");

    CLabelVariable refused = drive->ReadVariable("Q1", DT_Int16, 1);
    expect(refused.status == 3, "an unknown area is refused with status 3");

    drive->DisConnectDrive();
    CLabelVariable closed = drive->ReadVariable("D100", DT_Int16, 1);
    expect(closed.status == 9, "a read after DisConnectDrive gets status 9");
    drive->DestroyFree();
    delete dynamic_cast<QObject *>(drive);
    return failures == 0 ? 0 : 1;
}
