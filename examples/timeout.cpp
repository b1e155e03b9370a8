// SPDX-License-Identifier: LGPL-2.1-or-later
// Opens a link with the answer wait set, for a slow PLC (behind a gateway,
// a radio link), reads D100 and prints how long that took.
//   example_timeout CONNECTION WAIT [STATION]
// WAIT is the longest wait for an answer's first bytes, 50 to 10000 ms; it
// goes into the connection string after ";": "127.0.0.1:500;timeout=1000".
// Without it the wait starts at 300 ms and grows as late answers are seen,
// so the first reads from a slow PLC fail (status 8). An unknown option or a
// wait out of range makes ConnectDrive give -1 and open nothing.
#include "host.h"

#include <QtCore/QElapsedTimer>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: example_timeout CONNECTION WAIT [STATION]\n");
        return ExitUsage;
    }
    const QString connection = QStringLiteral("%1;timeout=%2").arg(argv[1], argv[2]);
    CDriveBaseClass *drive = loadDriver();
    if (!drive)
        return ExitPlugin;
    int status = connectDriver(drive, connection, argc > 3 ? argv[3] : "1");
    if (status == ExitOk) {
        QElapsedTimer took;
        took.start();
        CLabelVariable v = drive->ReadVariable("D100", DT_Int16, 1);
        const qint64 ms = took.elapsed();
        if (failed("D100", v))
            status = ExitFailed;
        else
            std::printf("D100 int16: %d\n", v.atInt16(0));
        std::printf("the read took %lld ms\n", static_cast<long long>(ms));
    }
    destroyDriver(drive);
    return status;
}
