// SPDX-License-Identifier: LGPL-2.1-or-later
// Writes int16, float and int8 values, reads them back and prints both.
//   example_write CONNECTION [STATION]
// The record's value must hold the QList of the type's own element:
// QList<short> for DT_Int16. A plain number (record.value = 1234), a
// QVariantList or a QList<int> is refused with status 2, nothing sent.
#include "host.h"

#include <QtCore/QList>
#include <QtCore/QVariant>

namespace {

int writeLabels(CDriveBaseClass *drive)
{
    // int16: D100 = 1234, D101 = -5.
    CLabelVariable words;
    words.value = QVariant::fromValue(QList<short>{1234, -5});
    CLabelVariable written = drive->WriteVariable("D100", DT_Int16, words, 2);
    if (failed("write D100", written))
        return ExitFailed;

    // float: QList<float>, not QList<double>; D300 and D301.
    CLabelVariable level;
    level.value = QVariant::fromValue(QList<float>{3.25f});
    written = drive->WriteVariable("D300", DT_Float, level, 1);
    if (failed("write D300", written))
        return ExitFailed;

    // int8: QList<char>, not QList<qint8> (signed char). Two values share a
    // register, so the count must be even (else status 4): D10 = 0xFB07.
    CLabelVariable bytes;
    bytes.value = QVariant::fromValue(QList<char>{char(-5), char(7)});
    written = drive->WriteVariable("D10", DT_Int8, bytes, 2);
    if (failed("write D10", written))
        return ExitFailed;

    // Back from the PLC.
    CLabelVariable v = drive->ReadVariable("D100", DT_Int16, 2);
    CLabelVariable f = drive->ReadVariable("D300", DT_Float, 1);
    CLabelVariable b = drive->ReadVariable("D10", DT_Int8, 2);
    if (failed("read D100", v) || failed("read D300", f) || failed("read D10", b))
        return ExitFailed;
    std::printf("D100 int16: %d %d\n", v.atInt16(0), v.atInt16(1));
    std::printf("D300 float: %g\n", double(f.atFloat(0)));
    std::printf("D10 int8: %d %d\n", qint8(b.atInt8(0)), qint8(b.atInt8(1)));
    const bool same = v.value.value<QList<short>>() == words.value.value<QList<short>>()
        && f.value.value<QList<float>>() == level.value.value<QList<float>>()
        && b.value.value<QList<char>>() == bytes.value.value<QList<char>>();
    if (!same)
        std::printf("the values read back differ from those written\n");
    return same ? ExitOk : ExitFailed;
}

} // namespace

int main(int argc, char *argv[])
{
    return runWithDriver(argc, argv, "example_write", writeLabels);
}
