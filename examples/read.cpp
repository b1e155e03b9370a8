// SPDX-License-Identifier: LGPL-2.1-or-later
// Reads labels of several types and prints them.
//   example_read CONNECTION [STATION]
// e.g. example_read 127.0.0.1:5000, example_read /dev/ttyUSB0,9600,8,1,N 2
#include "host.h"

#include <QtCore/QList>

namespace {

int readLabels(CDriveBaseClass *drive)
{
    // Two int16 registers, D100 and D101: the value holds QList<short>.
    CLabelVariable v = drive->ReadVariable("D100", DT_Int16, 2);
    if (failed("D100", v))
        return ExitFailed;
    std::printf("D100 int16: %d %d\n", v.atInt16(0), v.atInt16(1));

    // One int32 from two registers, D200 (the low word) and D201.
    CLabelVariable counter = drive->ReadVariable("D200", DT_Int32, 1);
    if (failed("D200", counter))
        return ExitFailed;
    std::printf("D200 int32: %d\n", counter.atInt32(0));

    // A float from D300 and D301; the whole list at once.
    CLabelVariable level = drive->ReadVariable("D300", DT_Float, 1);
    if (failed("D300", level))
        return ExitFailed;
    const QList<float> levels = level.value.value<QList<float>>();
    std::printf("D300 float: %g\n", double(levels.at(0)));

    // Two 8-bit values share a register, the first in the high byte. char is
    // signed or not as the compiler has it: qint8 gives the signed value.
    CLabelVariable bytes = drive->ReadVariable("D10", DT_Int8, 2);
    if (failed("D10", bytes))
        return ExitFailed;
    std::printf("D10 int8: %d %d\n", qint8(bytes.atInt8(0)), qint8(bytes.atInt8(1)));

    // Eight inputs, X0 to X7: QList<bool>.
    CLabelVariable inputs = drive->ReadVariable("X0", DT_Bool, 8);
    if (failed("X0", inputs))
        return ExitFailed;
    std::printf("X0 bool:");
    for (bool on : inputs.value.value<QList<bool>>())
        std::printf(" %d", on ? 1 : 0);
    std::printf("\n");
    return ExitOk;
}

} // namespace

int main(int argc, char *argv[])
{
    return runWithDriver(argc, argv, "example_read", readLabels);
}
