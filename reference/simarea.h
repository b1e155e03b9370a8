// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMAREA_H
#define SIMAREA_H

#include <QtCore/QString>

// The PLC's memory areas.
//
// Bit areas hold one bit per element; register areas one 16-bit register per
// element. The word areas are no memory of their own: they are 16-bit views
// of the bit areas, the word at n holding bits n..n+15 (bit n least
// significant). A run of k words starting at n therefore covers bits
// n..n+16k-1: its word i holds bits n+16i..n+16i+15.
//
// Every area has the elements 0..9999.
enum class SimArea {
    None,
    X, Y, M, S, T, C,           // bits
    R, D, RT, RC,               // registers
    WX, WY, WM, WS, WT, WC      // words over X, Y, M, S, T, C
};

namespace SimAreas {

constexpr int elementCount = 10000;
constexpr int wordBits = 16;

bool isBitArea(SimArea area);
bool isRegisterArea(SimArea area);
bool isWordArea(SimArea area);

// The bit area under a word area (WM -> M); None for any other area.
SimArea bitAreaOf(SimArea wordArea);
// The word area over a bit area (M -> WM); None for any other area.
SimArea wordAreaOf(SimArea bitArea);

// How many elements of the area one unit of a run takes: 16 bits for a
// word, one element otherwise.
int elementsPerUnit(SimArea area);

// True when a run of `count` units starting at `start` lies inside the area.
bool fits(SimArea area, int start, int count);

// The name used in memory files and dumps ("D", "RT", "WX", ...).
QString name(SimArea area);

// One of the simulator's own names above, case-insensitive, as older memory
// files write them; None if unknown. Labels are read by SimLabel.
SimArea fromName(const QString &text);

// The area character of a bit read request: X, Y, M, S, T or C.
SimArea fromBitCode(char code);

// The two area characters of a register read or write request:
// R0, D0, RT, RC, WX, WY, WM, WS, WT or WC.
SimArea fromRegisterCode(char first, char second);

} // namespace SimAreas

#endif
