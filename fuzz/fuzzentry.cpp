// SPDX-License-Identifier: LGPL-2.1-or-later
// The libFuzzer entry for one target; NORVO_FUZZ_TARGET names its function.
#include "FuzzTargets.h"

#include <QtCore/QCoreApplication>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Sockets, serial ports and timers want an application object.
    new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    NorvoFuzz::NORVO_FUZZ_TARGET(data, size);
    return 0;
}
