// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary bytes as a write on norvo-edge's TAG/set, for a tag of each type
// and count, taken as the daemon takes them: a refusal, or a list of the
// tag's type and count. An accepted value, published as norvo-edge
// publishes it or shown in hex as it is typed, and written back, writes the
// same value.
#include "FuzzBytes.h"
#include "FuzzTargets.h"

#include "ValueText.h"
#include "writerequest.h"

namespace NorvoFuzz {

void edgeWrites(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    const auto type = ValueTypes::Type(in.byte() % std::size(ValueTypes::table));
    const int count = 1 + in.byte() % 8;
    const QByteArray payload = in.rest();
    const DataType dataType = ValueText::dataType(type);

    QJsonValue asSent;
    QJsonArray values;
    if (!WriteRequest::parse(payload, &asSent, &values))
        return;
    FUZZ_CHECK(asSent.isArray() ? asSent.toArray() == values : values == QJsonArray{asSent});
    if (values.size() != count)
        return;
    QVariant list;
    const QString refusal = WriteRequest::typedValues(type, values, &list);
    if (!refusal.isEmpty())
        return;

    QStringList hex;
    FUZZ_CHECK(ValueText::formatValues(dataType, list, ValueText::Style::Hex, &hex));
    FUZZ_CHECK(hex.size() == count);

    // Typed back as shown.
    QVariant typed;
    FUZZ_CHECK(ValueText::parseValues(dataType, hex, &typed).isEmpty());
    QStringList typedHex;
    FUZZ_CHECK(ValueText::formatValues(dataType, typed, ValueText::Style::Hex, &typedHex));
    FUZZ_CHECK(typedHex == hex);

    // Written back as published. JSON has one nan: its payload bits may go.
    QJsonArray published;
    FUZZ_CHECK(ValueText::jsonValues(dataType, list, &published));
    FUZZ_CHECK(published.size() == count);
    QVariant again;
    FUZZ_CHECK(WriteRequest::typedValues(type, published, &again).isEmpty());
    QStringList plain;
    QStringList againPlain;
    FUZZ_CHECK(ValueText::formatValues(dataType, list, ValueText::Style::Plain, &plain));
    FUZZ_CHECK(ValueText::formatValues(dataType, again, ValueText::Style::Plain, &againPlain));
    FUZZ_CHECK(againPlain == plain);
}

} // namespace NorvoFuzz
