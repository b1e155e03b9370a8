#ifndef SIMMEMORYFILE_H
#define SIMMEMORYFILE_H

#include "simmemory.h"

#include <QtCore/QList>
#include <QtCore/QString>

// The memory file of norvo-sim: one assignment a line, comments from "#".
//
//     # start values
//     D100 = 0x1234
//     X17 = 1
//     WM0 = 0xFF00     # bits M8..M15
//     TMR5 = -2        # same as RT5 = 0xFFFE
//
// Bit areas take 0 or 1; registers and words take -32768..65535 in decimal
// or 0x hex. A dump is written in the same format and loads back.
namespace SimMemoryFile {

struct Assignment {
    SimArea area = SimArea::None;
    int element = 0;
    quint16 value = 0;
};

struct Result {
    QList<Assignment> assignments;
    int errorLine = 0;        // 1-based; 0 when the text is good
    QString error;

    bool ok() const { return errorLine == 0; }
};

Result parse(const QString &text);
void apply(const QList<Assignment> &assignments, SimMemory *memory);

// Every non-zero bit and register, bits as 0/1 and registers in hex, area by
// area in ascending element order.
QString dump(const SimMemory &memory);

} // namespace SimMemoryFile

#endif
