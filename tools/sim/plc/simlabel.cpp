// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simlabel.h"

#include "Areas.h"

namespace {

// The protocol's areas are the first of the simulator's, in the same order.
static_assert(int(SimArea::X) == int(Areas::Area::X) && int(SimArea::C) == int(Areas::Area::C)
                  && int(SimArea::R) == int(Areas::Area::R) && int(SimArea::RC) == int(Areas::Area::RC),
              "SimArea starts with the protocol's areas");

SimArea simArea(Areas::Area area)
{
    return SimArea(int(area));
}

Areas::Area protocolArea(SimArea area)
{
    return area <= SimArea::RC ? Areas::Area(int(area)) : Areas::Area::None;
}

} // namespace

QString SimLabel::text() const
{
    const QString prefix = Areas::prefix(protocolArea(area));
    if (!prefix.isEmpty())
        return prefix + QString::number(element);
    // An older word name: its bits' CLI name (a word view is read as words).
    const SimArea bits = SimAreas::bitAreaOf(area);
    return bits == SimArea::None ? QString() : SimLabel{bits, element}.text();
}

SimLabel SimLabel::parse(const QString &text, QString *error, bool olderNames)
{
    QString letters;
    QString digits;
    if (!Areas::split(text, &letters, &digits)) {
        *error = QStringLiteral("\"%1\" is no label (area letters and an element number, like D100)").arg(text);
        return SimLabel();
    }
    SimLabel label;
    label.area = simArea(Areas::fromPrefix(letters));
    if (label.area == SimArea::None && olderNames)
        label.area = SimAreas::fromName(letters);
    if (label.area == SimArea::None) {
        *error = QStringLiteral("unknown area \"%1\"").arg(letters);
        return SimLabel();
    }
    bool ok = false;
    label.element = digits.toInt(&ok, 10);
    if (!ok || !SimAreas::fits(label.area, label.element, 1)) {
        *error = SimAreas::isWordArea(label.area)
                ? QStringLiteral("word %1 reaches past bit %2").arg(text).arg(Areas::lastElement)
                : QStringLiteral("element %1 is past %2").arg(digits).arg(Areas::lastElement);
        return SimLabel();
    }
    if (digits.size() > Areas::elementDigits) {
        *error = QStringLiteral("element %1 has more than %2 digits").arg(digits).arg(Areas::elementDigits);
        return SimLabel();
    }
    return label;
}
