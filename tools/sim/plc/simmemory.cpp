// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simmemory.h"

#include "simtyped.h"

namespace {

bool inArea(int n)
{
    return n >= 0 && n < SimAreas::elementCount;
}

} // namespace

SimMemory::SimMemory()
{
    clear();
}

void SimMemory::clear()
{
    for (QVector<quint8> &area : bits)
        area = QVector<quint8>(SimAreas::elementCount, 0);
    for (QVector<quint16> &area : registers)
        area = QVector<quint16>(SimAreas::elementCount, 0);
    typedValues.clear();
}

void SimMemory::declare(const Typed &typed)
{
    const SimTypes::Span span = SimTypes::span(typed.area, typed.element, typed.type, typed.count);
    if (span.area == SimArea::None)
        return;
    for (int i = typedValues.size() - 1; i >= 0; --i) {
        const Typed &old = typedValues.at(i);
        if (SimTypes::span(old.area, old.element, old.type, old.count).meets(span))
            typedValues.removeAt(i);
    }
    typedValues.append(typed);
}

QVector<quint8> *SimMemory::bitsOf(SimArea area)
{
    return const_cast<QVector<quint8> *>(static_cast<const SimMemory *>(this)->bitsOf(area));
}

const QVector<quint8> *SimMemory::bitsOf(SimArea area) const
{
    if (!SimAreas::isBitArea(area))
        return nullptr;
    return &bits[int(area) - int(SimArea::X)];
}

QVector<quint16> *SimMemory::registersOf(SimArea area)
{
    return const_cast<QVector<quint16> *>(static_cast<const SimMemory *>(this)->registersOf(area));
}

const QVector<quint16> *SimMemory::registersOf(SimArea area) const
{
    if (!SimAreas::isRegisterArea(area))
        return nullptr;
    return &registers[int(area) - int(SimArea::R)];
}

bool SimMemory::bit(SimArea area, int n) const
{
    const QVector<quint8> *area_ = bitsOf(area);
    return area_ && inArea(n) && area_->at(n) != 0;
}

void SimMemory::setBit(SimArea area, int n, bool on)
{
    QVector<quint8> *area_ = bitsOf(area);
    if (area_ && inArea(n))
        (*area_)[n] = on ? 1 : 0;
}

quint16 SimMemory::value(SimArea area, int n) const
{
    if (!inArea(n))
        return 0;
    if (const QVector<quint16> *regs = registersOf(area))
        return regs->at(n);
    if (SimAreas::isBitArea(area))
        return bit(area, n) ? 1 : 0;
    if (SimAreas::isWordArea(area)) {
        const SimArea bitArea = SimAreas::bitAreaOf(area);
        quint16 word = 0;
        for (int i = 0; i < SimAreas::wordBits; ++i) {
            if (bit(bitArea, n + i))
                word |= quint16(1u << i);
        }
        return word;
    }
    return 0;
}

void SimMemory::setValue(SimArea area, int n, quint16 value)
{
    if (!inArea(n))
        return;
    if (QVector<quint16> *regs = registersOf(area)) {
        (*regs)[n] = value;
    } else if (SimAreas::isBitArea(area)) {
        setBit(area, n, value != 0);
    } else if (SimAreas::isWordArea(area)) {
        const SimArea bitArea = SimAreas::bitAreaOf(area);
        for (int i = 0; i < SimAreas::wordBits; ++i)
            setBit(bitArea, n + i, (value >> i) & 1u);
    }
}

QVector<quint16> SimMemory::readRun(SimArea area, int start, int count) const
{
    QVector<quint16> run;
    if (!inArea(start))
        return run;
    count = qBound(0, count, SimAreas::elementCount);
    const int step = SimAreas::elementsPerUnit(area);
    for (int i = 0; i < count; ++i)
        run.append(value(area, start + i * step));
    return run;
}

void SimMemory::writeRun(SimArea area, int start, const QVector<quint16> &values)
{
    if (!inArea(start))
        return;
    const int step = SimAreas::elementsPerUnit(area);
    const int count = qMin(values.size(), SimAreas::elementCount);
    for (int i = 0; i < count; ++i)
        setValue(area, start + i * step, values.at(i));
}
