// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMMEMORY_H
#define SIMMEMORY_H

#include "simarea.h"

#include "ValueTypes.h"

#include <QtCore/QList>
#include <QtCore/QVector>

// The value types of the norvo command line.
using SimType = ValueTypes::Type;

// The PLC's memory: six bit areas and four register areas of 10000 elements
// each, all zero at start. Word areas are read and written through the bits
// they view.
//
// Elements outside an area read as 0 and writes to them are ignored, so API
// callers cannot corrupt memory; requests from the line are range-checked
// before they get here.
class SimMemory
{
public:
    SimMemory();

    bool bit(SimArea area, int n) const;
    void setBit(SimArea area, int n, bool on);

    // A register, or for a word area the 16 bits n..n+15 (bit n lowest).
    // A bit area reads as 0 or 1 and is set by value != 0.
    quint16 value(SimArea area, int n) const;
    void setValue(SimArea area, int n, quint16 value);

    // A run of units as a request addresses it (word i of a word run starts
    // at bit start + 16 * i).
    QVector<quint16> readRun(SimArea area, int start, int count) const;
    void writeRun(SimArea area, int start, const QVector<quint16> &values);

    // Values a memory file or the API wrote with a type, so that a dump
    // writes them back in that type ("D300:float = 3.25"). A declaration
    // replaces those whose storage it shares; the words stay as they are.
    struct Typed {
        SimArea area;
        int element;
        SimType type;
        int count;
    };
    void declare(const Typed &typed);
    const QList<Typed> &declared() const { return typedValues; }

    // Zero everywhere, nothing declared.
    void clear();

private:
    QVector<quint8> *bitsOf(SimArea area);
    const QVector<quint8> *bitsOf(SimArea area) const;
    QVector<quint16> *registersOf(SimArea area);
    const QVector<quint16> *registersOf(SimArea area) const;

    QVector<quint8> bits[6];        // X, Y, M, S, T, C
    QVector<quint16> registers[4];  // R, D, RT, RC
    QList<Typed> typedValues;
};

#endif
