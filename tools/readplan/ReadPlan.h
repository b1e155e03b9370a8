// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_READPLAN_READPLAN_H
#define NORVO_READPLAN_READPLAN_H

#include "Areas.h"
#include "DataType.h"

#include <QtCore/QString>
#include <QtCore/QVariant>
#include <QtCore/QVector>

// Labels merged into the fewest reads. The protocol carries no request ids,
// so one request is in flight per link: fewer requests is the one big lever
// on a poll cycle's time.
//
// A run is one read of consecutive units (bits of X and Y, registers
// elsewhere) that covers several labels; the gap between two labels of a
// run is at most a setting, and a run is at most one request's units. In a
// bit area read by registers a unit is a word of 16 bits starting at any
// bit, so only labels 16 bits apart (or a multiple) share a run.
//
// Pure: which runs to read, and each label's value cut out of a run's
// answer with the driver's own decoding (ValueCoding::decoderForm and
// decodeList), so that a merged read gives exactly what a read of the label
// alone would.
namespace ReadPlan {

struct Item
{
    QString label; // as the driver takes it: "D100", "M16", "X17"
    Areas::Area area = Areas::Area::None;
    int element = -1;
    DataType type = DT_None;
    int count = 1;
};

// Items from labels; area None when the label is not norvo's grammar.
Item item(const QString &label, DataType type, int count);

struct Settings
{
    bool merge = true;
    int maxGap = 4; // units read for nothing between two labels of a run
};

// One item's place in a run, in units from the run's start.
struct Slice
{
    int item;
    qint64 offset;
    qint64 units;
};

struct Run
{
    QString label; // the first item's label: where the read starts
    Areas::Area area = Areas::Area::None;
    int phase = 0;         // the start element modulo the elements of a unit
    qint64 position = 0;   // the start element divided by them
    qint64 units = 0;
    QVector<Slice> slices;

    // A run of one item is read as that item, in its own type and count,
    // exactly as a host reading it alone would.
    bool merged() const { return slices.size() > 1; }
    bool bitRead() const { return Areas::readsBits(area); }
    // What a merged run is read as: bits of X and Y, 16-bit words elsewhere.
    DataType readType() const { return bitRead() ? DT_Bool : DT_UInt16; }
};

// What the reads taught: items read alone from now on (the PLC refused
// them), and cuts no run may span (a run across them was refused, perhaps
// for an address between its items). A cut is the unit position of the
// first unit after it, in its area and 16-bit phase.
struct Lessons
{
    QVector<int> alone;
    struct Cut
    {
        Areas::Area area;
        int phase;
        qint64 position;
    };
    QVector<Cut> cuts;
};

// The runs that read every item, in the order of their first items; each
// item is in exactly one run, and
// items that cannot be merged (no area, no layout for the type, more units
// than a request takes) are runs of their own, which the driver refuses
// with its own status.
QVector<Run> plan(const QVector<Item> &items, const Settings &settings,
                  const Lessons &lessons = Lessons());

// The two halves of a merged run (by items, in address order) and the cut
// between them; a run of one item stays whole, the second half empty.
struct Halves
{
    Run first;
    Run second;
    Lessons::Cut cut;
};
Halves split(const Run &run, const QVector<Item> &items);

// One item's value out of the value a merged run's read returned (QList<bool>
// for bits, QList<quint16> for words); invalid when the answer holds fewer
// units than the run.
QVariant cut(const Run &run, const Slice &slice, const Item &item, const QVariant &runValue);

} // namespace ReadPlan

#endif
