// SPDX-License-Identifier: LGPL-2.1-or-later
// Reads D100 every INTERVAL ms, CYCLES times, and opens the link again
// whenever a read finds it down.
//   example_poll CONNECTION [STATION [CYCLES [INTERVAL]]]     (10 cycles, 500 ms)
// Status 9 means the link is down (the PLC restarted or closed the
// connection, a cable or adapter pulled): only ConnectDrive brings it back.
// After 7 or 8 (a bad answer, none in time) the link finds its step by
// itself: just read again. Exits 0 when the last read was good.
#include "host.h"

#include <QtCore/QTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2 || argc > 5) {
        std::fprintf(stderr, "usage: example_poll CONNECTION [STATION [CYCLES [INTERVAL]]]\n");
        return ExitUsage;
    }
    const QString connection = QString::fromLocal8Bit(argv[1]);
    const int cycles = argc > 3 ? QString(argv[3]).toInt() : 10;
    const int interval = argc > 4 ? QString(argv[4]).toInt() : 500;
    if (cycles < 1 || interval < 0) {
        std::fprintf(stderr, "CYCLES must be 1 or more, INTERVAL 0 or more\n");
        return ExitUsage;
    }
    CDriveBaseClass *drive = loadDriver();
    if (!drive)
        return ExitPlugin;
    // A link that does not open yet is tried again each cycle.
    if (connectDriver(drive, connection, argc > 2 ? argv[2] : "1") == ExitUsage) {
        destroyDriver(drive);
        return ExitUsage;
    }

    int cycle = 0, good = 0, reconnects = 0;
    bool lastGood = false;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        ++cycle;
        CLabelVariable v = drive->ReadVariable("D100", DT_Int16, 1);
        lastGood = v.status == 0;
        if (lastGood) {
            ++good;
            std::printf("cycle %d: D100 = %d\n", cycle, v.atInt16(0));
        } else if (v.status == 9) {
            ++reconnects;
            std::printf("cycle %d: link down (status 9), ", cycle);
            connectDriver(drive, connection, argc > 2 ? argv[2] : "1");
        } else {
            std::printf("cycle %d: status %d\n", cycle, v.status);
        }
        std::fflush(stdout);
        if (cycle == cycles)
            app.quit();
    });
    timer.start(interval);
    app.exec();

    std::printf("%d reads, %d good, %d reconnects\n", cycle, good, reconnects);
    destroyDriver(drive);
    return lastGood ? ExitOk : ExitFailed;
}
