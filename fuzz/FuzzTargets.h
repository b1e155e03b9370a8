// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_FUZZTARGETS_H
#define NORVO_FUZZTARGETS_H

#include <cstddef>
#include <cstdint>

// The fuzz targets as plain functions: libFuzzer calls them through
// fuzzentry.cpp, and tests/robust replays every committed corpus entry
// through them in the ordinary and the sanitizer builds. A broken rule
// aborts with a message naming it.
namespace NorvoFuzz {

// Arbitrary bytes as the PLC's answer to each of the three commands.
void answers(const uint8_t *data, size_t size);
// Arbitrary label texts, data types and counts through the address
// functions and the read and write checks.
void labels(const uint8_t *data, size_t size);
// Arbitrary connection strings with nothing reachable behind them.
void connectionStrings(const uint8_t *data, size_t size);
// Arbitrary record contents through every accessor and operator.
void records(const uint8_t *data, size_t size);
// Arbitrary bytes arriving while answers are owed.
void owedAnswers(const uint8_t *data, size_t size);
// Arbitrary bytes as norvo-edge's tag file.
void edgeTags(const uint8_t *data, size_t size);
// Arbitrary bytes as a write on norvo-edge's TAG/set, for each tag type and count.
void edgeWrites(const uint8_t *data, size_t size);
// Arbitrary bytes as the Sparkplug commands a host sends norvo-edge.
void sparkplugCommands(const uint8_t *data, size_t size);
// Arbitrary bytes as the files norvo-edge reads from its state folder.
void edgeStore(const uint8_t *data, size_t size);

// The name of the input being run, if the runner knows it; fail() shows it.
extern const char *currentInput;

// Reports a broken rule and aborts.
[[noreturn]] void fail(const char *rule, const char *file, int line);

} // namespace NorvoFuzz

#define FUZZ_CHECK(rule)                                                                          \
    do {                                                                                          \
        if (!(rule))                                                                              \
            NorvoFuzz::fail(#rule, __FILE__, __LINE__);                                           \
    } while (false)

#endif
