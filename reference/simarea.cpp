// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simarea.h"

namespace {

struct AreaInfo {
    SimArea area;
    const char *name;
    char codeFirst;   // area characters in a register request
    char codeSecond;  // also the character of a bit read request
    SimArea bitArea;  // for word views
};

// One row per area: its name and the characters the requests carry.
const AreaInfo areaTable[] = {
    {SimArea::X, "X", 0, 'X', SimArea::None},
    {SimArea::Y, "Y", 0, 'Y', SimArea::None},
    {SimArea::M, "M", 0, 'M', SimArea::None},
    {SimArea::S, "S", 0, 'S', SimArea::None},
    {SimArea::T, "T", 0, 'T', SimArea::None},
    {SimArea::C, "C", 0, 'C', SimArea::None},
    {SimArea::R, "R", 'R', '0', SimArea::None},
    {SimArea::D, "D", 'D', '0', SimArea::None},
    {SimArea::RT, "RT", 'R', 'T', SimArea::None},
    {SimArea::RC, "RC", 'R', 'C', SimArea::None},
    {SimArea::WX, "WX", 'W', 'X', SimArea::X},
    {SimArea::WY, "WY", 'W', 'Y', SimArea::Y},
    {SimArea::WM, "WM", 'W', 'M', SimArea::M},
    {SimArea::WS, "WS", 'W', 'S', SimArea::S},
    {SimArea::WT, "WT", 'W', 'T', SimArea::T},
    {SimArea::WC, "WC", 'W', 'C', SimArea::C},
};

const AreaInfo *infoOf(SimArea area)
{
    for (const AreaInfo &info : areaTable) {
        if (info.area == area)
            return &info;
    }
    return nullptr;
}

} // namespace

namespace SimAreas {

bool isBitArea(SimArea area)
{
    return area >= SimArea::X && area <= SimArea::C;
}

bool isRegisterArea(SimArea area)
{
    return area >= SimArea::R && area <= SimArea::RC;
}

bool isWordArea(SimArea area)
{
    return area >= SimArea::WX && area <= SimArea::WC;
}

SimArea bitAreaOf(SimArea wordArea)
{
    const AreaInfo *info = infoOf(wordArea);
    return info ? info->bitArea : SimArea::None;
}

SimArea wordAreaOf(SimArea bitArea)
{
    for (const AreaInfo &info : areaTable) {
        if (info.bitArea == bitArea && bitArea != SimArea::None)
            return info.area;
    }
    return SimArea::None;
}

int elementsPerUnit(SimArea area)
{
    return isWordArea(area) ? wordBits : 1;
}

bool fits(SimArea area, int start, int count)
{
    if (area == SimArea::None || start < 0 || count < 1 || start >= elementCount)
        return false;
    // In 64 bits: a count from an API caller may be anything.
    const qint64 last = qint64(start) + qint64(count) * elementsPerUnit(area) - 1;
    return last < elementCount;
}

QString name(SimArea area)
{
    const AreaInfo *info = infoOf(area);
    return info ? QString::fromLatin1(info->name) : QString();
}

SimArea fromName(const QString &text)
{
    const QString upper = text.toUpper();
    for (const AreaInfo &info : areaTable) {
        if (upper == QLatin1String(info.name))
            return info.area;
    }
    return SimArea::None;
}

SimArea fromBitCode(char code)
{
    for (const AreaInfo &info : areaTable) {
        if (isBitArea(info.area) && info.codeSecond == code)
            return info.area;
    }
    return SimArea::None;
}

SimArea fromRegisterCode(char first, char second)
{
    for (const AreaInfo &info : areaTable) {
        if (info.codeFirst != 0 && info.codeFirst == first && info.codeSecond == second)
            return info.area;
    }
    return SimArea::None;
}

} // namespace SimAreas
