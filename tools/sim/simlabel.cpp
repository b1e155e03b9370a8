// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simlabel.h"

#include <QtCore/QRegularExpression>

namespace {

struct LabelName {
    const char *name;
    SimArea area;
};

// The CLI's spellings; the first one of an area is the one written.
const LabelName cliNames[] = {
    {"X", SimArea::X},    {"Y", SimArea::Y},    {"M", SimArea::M},  {"S", SimArea::S},
    {"T", SimArea::T},    {"C", SimArea::C},    {"D", SimArea::D},  {"HR", SimArea::R},
    {"R", SimArea::R},    {"TMR", SimArea::RT}, {"CTR", SimArea::RC},
};

} // namespace

QString SimLabel::text() const
{
    for (const LabelName &entry : cliNames) {
        if (entry.area == area)
            return QLatin1String(entry.name) + QString::number(element);
    }
    // An older word name: its bits' CLI name (a word view is read as words).
    const SimArea bits = SimAreas::bitAreaOf(area);
    return bits == SimArea::None ? QString() : SimLabel{bits, element}.text();
}

SimLabel SimLabel::parse(const QString &text, QString *error, bool olderNames)
{
    static const QRegularExpression pattern(QStringLiteral("^([A-Za-z]+)([0-9]+)$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("\"%1\" is no label (area letters and an element number, like D100)").arg(text);
        return SimLabel();
    }
    const QString letters = match.captured(1).toUpper();
    SimLabel label;
    for (const LabelName &entry : cliNames) {
        if (letters == QLatin1String(entry.name))
            label.area = entry.area;
    }
    if (label.area == SimArea::None && olderNames)
        label.area = SimAreas::fromName(letters);
    if (label.area == SimArea::None) {
        *error = QStringLiteral("unknown area \"%1\"").arg(match.captured(1));
        return SimLabel();
    }
    bool ok = false;
    label.element = match.captured(2).toInt(&ok, 10);
    if (!ok || !SimAreas::fits(label.area, label.element, 1)) {
        *error = SimAreas::isWordArea(label.area)
                ? QStringLiteral("word %1 reaches past bit 9999").arg(text)
                : QStringLiteral("element %1 is past 9999").arg(match.captured(2));
        return SimLabel();
    }
    return label;
}
