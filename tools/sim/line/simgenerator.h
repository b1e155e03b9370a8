// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMGENERATOR_H
#define SIMGENERATOR_H

#include "simtyped.h"

#include <QtCore/QString>

#include <random>

// A value that moves by itself, written as in a memory file:
//
//   ramp(START, END, STEP, PERIOD)   START, then STEP more every PERIOD; the
//                                    step that would pass END starts over
//   counter(PERIOD[, STEP])          0, then STEP more every PERIOD, wrapping
//                                    at the limits of the label's type
//   sine(LOW, HIGH, PERIOD)          a sine wave between LOW and HIGH
//   walk(LOW, HIGH, STEP, PERIOD)    from the middle, a random step of up to
//                                    STEP each PERIOD, kept within LOW..HIGH
//   toggle(PERIOD)                   0 and 1 in turn, each for PERIOD
//   scan()                           the PLC's scans, one every scanMs,
//                                    wrapping like a counter
//
// PERIOD is milliseconds, or a number with "ms" or "s" ("250ms", "1.5s").
// Values are rounded to whole numbers for integer types and kept within
// the type's range.
struct SimGeneratorRecipe {
    enum Kind { Ramp, Counter, Sine, Walk, Toggle, Scan };
    Kind kind = Ramp;
    double low = 0;        // ramp: start; sine, walk: low
    double high = 0;       // ramp: end; sine, walk: high
    double step = 1;       // ramp, counter, walk
    qint64 periodMs = 1000;

    static constexpr int scanMs = 10;

    // False with `error` set when `text` is no generator.
    static bool parse(const QString &text, SimGeneratorRecipe *recipe, QString *error);
    // True when `text` is written as a generator, "NAME(...)", good or bad.
    static bool looksLikeOne(const QString &text);
    // The text parse() reads back.
    QString text() const;
    // Why the recipe does not suit a label of `type`, or an empty text: a
    // START, END, LOW or HIGH the type cannot hold (the generator would stick
    // at the type's limit), or a STEP beyond the type's whole range or one
    // that rounds to 0 in it (it would never move).
    QString problemIn(SimType type) const;
};

// One running generator: its value in its type at a time since it started.
// Deterministic: the same recipe, type and seed give the same values at the
// same times, however often they are asked for.
class SimGenerator
{
public:
    SimGenerator(const SimGeneratorRecipe &recipe, SimType type, quint32 seed);

    const SimGeneratorRecipe &recipe() const { return how; }
    SimType type() const { return typeOf; }

    // The value's bit pattern `elapsedMs` after the start; times must not
    // go back.
    quint64 valueAt(qint64 elapsedMs);

private:
    quint64 patternOf(double number) const;

    SimGeneratorRecipe how;
    SimType typeOf;
    std::mt19937 random;
    qint64 stepsTaken = 0;     // walk: the steps drawn so far
    double walked = 0;
};

#endif
