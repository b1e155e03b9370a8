// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary bytes as norvo-edge's tag file: either tags the daemon can
// publish and read as they are, or a refusal that points at a line of the
// file, with the caller's tags left as they were.
#include "FuzzTargets.h"

#include "Areas.h"
#include "Limits.h"
#include "tagfile.h"

#include <QtCore/QSet>

#include <cmath>

namespace NorvoFuzz {

void edgeTags(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), int(size));
    const QString fileName = QStringLiteral("tags.csv");
    TagFile::Tag before;
    before.name = QStringLiteral("before");
    QList<TagFile::Tag> tags{before};
    const QString refusal = TagFile::parse(bytes, fileName, &tags);

    if (!refusal.isEmpty()) {
        // A reload that fails keeps the tags in use.
        FUZZ_CHECK(tags.size() == 1 && tags.first().name == before.name);
        FUZZ_CHECK(refusal.startsWith(fileName + QLatin1Char(':')));
        const QString rest = refusal.mid(fileName.size() + 1);
        if (!rest.startsWith(QLatin1Char(' '))) {
            // FILE:LINE: reason, the line one of the file's.
            const int colon = rest.indexOf(QLatin1Char(':'));
            bool ok = false;
            const int line = rest.left(colon).toInt(&ok);
            FUZZ_CHECK(colon > 0 && ok);
            FUZZ_CHECK(line >= 1 && line <= bytes.count('\n') + bytes.count('\r') + 1);
            FUZZ_CHECK(rest.mid(colon).startsWith(QLatin1String(": ")) && rest.size() > colon + 2);
        }
        return;
    }

    FUZZ_CHECK(!tags.isEmpty());
    QSet<QString> names;
    for (const TagFile::Tag &tag : qAsConst(tags)) {
        // One topic level each, and no two alike.
        FUZZ_CHECK(!tag.name.isEmpty());
        FUZZ_CHECK(!tag.name.contains(QLatin1Char('/')) && !tag.name.contains(QLatin1Char('+'))
                   && !tag.name.contains(QLatin1Char('#')));
        FUZZ_CHECK(!names.contains(tag.name));
        names.insert(tag.name);
        // The label names the element the tag reads.
        const Areas::Label label = Areas::parseLabel(tag.label);
        FUZZ_CHECK(label.isValid() && label.area == tag.area && label.element == tag.element);
        FUZZ_CHECK(tag.element >= 0 && tag.element <= Areas::lastElement);
        // One request reads the whole tag.
        FUZZ_CHECK(tag.count >= 1);
        const qint64 units = TagFile::readUnits(tag.area, tag.type, tag.count);
        FUZZ_CHECK(units >= 1 && units <= Limits::maxUnits);
        FUZZ_CHECK(tag.periodMs >= TagFile::minPeriodMs && tag.periodMs <= TagFile::maxPeriodMs);
        FUZZ_CHECK(!tag.hasDeadband() || std::isfinite(tag.deadband));
        const bool isBool = tag.type == ValueTypes::Type::Bool;
        FUZZ_CHECK(!(isBool && tag.hasDeadband()));
        // Writes go in whole registers.
        FUZZ_CHECK(!(tag.writable && isBool));
        FUZZ_CHECK(!(tag.writable && ValueTypes::info(tag.type).bits == 8 && tag.count % 2 != 0));
    }
}

} // namespace NorvoFuzz
