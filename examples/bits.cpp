// SPDX-License-Identifier: LGPL-2.1-or-later
// Switches outputs Y3 and Y5 on and Y4 off, leaving every other output as
// it was, and prints Y0 to Y23 before and after.
//   example_bits CONNECTION [STATION]
// The PLC writes whole 16-bit words, never single bits: a DT_Bool write is
// refused with status 2. A word written at a bit label sets the 16 bits from
// that label on (Y3 to Y18, Y3 the least significant bit), so read that word,
// change the bits and write it back, as "write --merge" of the command line
// does. It is not atomic: the PLC's program may change the word in between.
#include "host.h"

#include <QtCore/QList>
#include <QtCore/QVariant>

namespace {

bool printOutputs(CDriveBaseClass *drive)
{
    CLabelVariable outputs = drive->ReadVariable("Y0", DT_Bool, 24);
    if (failed("read Y0", outputs))
        return false;
    std::printf("Y0..Y23:");
    for (bool on : outputs.value.value<QList<bool>>())
        std::printf(" %d", on ? 1 : 0);
    std::printf("\n");
    return true;
}

int setBits(CDriveBaseClass *drive)
{
    if (!printOutputs(drive))
        return ExitFailed;

    const QList<bool> wanted{true, false, true}; // Y3, Y4, Y5
    CLabelVariable word = drive->ReadVariable("Y3", DT_UInt16, 1);
    if (failed("read Y3", word))
        return ExitFailed;
    quint16 bits = word.atUInt16(0);
    for (int i = 0; i < wanted.size(); ++i) {
        if (wanted.at(i))
            bits |= quint16(1u << i);
        else
            bits &= quint16(~(1u << i));
    }
    CLabelVariable out;
    out.value = QVariant::fromValue(QList<unsigned short>{bits});
    CLabelVariable written = drive->WriteVariable("Y3", DT_UInt16, out, 1);
    if (failed("write Y3", written))
        return ExitFailed;
    std::printf("Y3 word: 0x%04X, now 0x%04X\n", unsigned(word.atUInt16(0)), unsigned(bits));

    return printOutputs(drive) ? ExitOk : ExitFailed;
}

} // namespace

int main(int argc, char *argv[])
{
    return runWithDriver(argc, argv, "example_bits", setBits);
}
