// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMMEMORYFILE_H
#define SIMMEMORYFILE_H

#include "simgenerator.h"
#include "simmemory.h"
#include "simtyped.h"

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVector>

// The memory file of norvo-sim: one assignment a line, comments from "#".
//
//     # start values
//     D100 = 0x1234
//     X17 = 1
//     M0:uint16 = 0xFF00     # bits M8..M15
//     TMR5 = -2              # timer register 5: 0xFFFE
//     D300:float = 3.25      # D300 and D301, low word first
//     D200:int32 = 100000
//     D10 = 1, 2, 3          # D10, D11, D12
//     @7 D100 = 5            # station 7's D100
//     D20:float = sine(20, 80, 60s)   # a generator (simgenerator.h)
//
// Labels are the norvo command line's; TYPE is one of its types, laid out
// as SimTypes describes, its values written as norvo writes them
// (protocol/ValueGrammar.h). Without a type, bits take a bool's values and
// registers int16's or uint16's: -32768..65535, or 0x hex. A line without a station is for the
// first station simulated. Older files with the names RT, RC and WX..WC
// still load. A dump is written in the same format and loads back with the
// same meaning: typed values in their types, generators as generators.
namespace SimMemoryFile {

struct Assignment {
    int station = -1;                 // -1: the first station
    SimArea area = SimArea::None;
    int element = 0;
    SimType type = SimType::UInt16;
    QVector<quint64> values;          // bit patterns of consecutive values
    bool typed = false;               // the line named its type
    bool generated = false;           // a generator instead of values
    SimGeneratorRecipe generator;
    int line = 0;                     // 1-based, in the text parsed

    // The station it is for, given the first one simulated.
    int stationOr(int firstStation) const { return station < 0 ? firstStation : station; }
};

struct Result {
    QList<Assignment> assignments;
    int errorLine = 0;        // 1-based; 0 when the text is good
    QString error;

    bool ok() const { return errorLine == 0; }
};

// With `stations`, a line for a station not among them is refused too.
Result parse(const QString &text, const QList<int> &stations = QList<int>());

// Applies every assignment's values, whatever its station; typed ones are
// declared on the memory. Generators are left to the caller.
void apply(const QList<Assignment> &assignments, SimMemory *memory);
// Applies the assignments of `station`; those naming none when `station`
// is the first one simulated.
void apply(const QList<Assignment> &assignments, SimMemory *memory, int station, int firstStation);

// The memory as a file: the `generators` first, then every declared typed
// value in its type, then every bit and register whose value these lines
// do not give (non-zero ones, or one a typed line would get wrong), bits as
// 0/1 and registers in hex, area by area in ascending element order; each
// line starts with "@STATION " when `station` is not -1.
QString dump(const SimMemory &memory, int station = -1,
             const QList<Assignment> &generators = QList<Assignment>());

} // namespace SimMemoryFile

#endif
