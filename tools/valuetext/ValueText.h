// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_VALUETEXT_H
#define NORVO_CLI_VALUETEXT_H

#include "DataType.h"
#include "ValueTypes.h"

#include <QtCore/QJsonArray>
#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QVariant>

// Label values as the user types them and as the tool shows them.
//
// A record carries its values as a list of the type's element type
// (QList<short> for int16, QList<char> for int8, ...). These functions turn
// command-line texts into such a list and such a list back into texts.
namespace ValueText {

// The types a label is read or written as, by their command-line names
// ("int16", case-insensitive). DT_None for a name that is none of them.
DataType typeFromName(const QString &name);
DataType dataType(ValueTypes::Type named);
QString typeName(DataType type);
QStringList typeNames();

// Parses one text per element into the list that a record of `type` holds,
// each as ValueGrammar reads it (protocol/ValueGrammar.h, shared with
// norvo-sim): decimal or hex as the bit pattern (0xFFFF is -1 as int16),
// floats also nan, inf, infinity; bool 0, 1, true, false, on, off. Returns an
// empty text on success, else why the first bad text was refused.
QString parseValues(DataType type, const QStringList &texts, QVariant *list);

// JSON values as the texts parseValues reads for `type`: strings as they
// are, true and false as 1 and 0, numbers in full. Returns why a value was
// refused (for an integer type, a whole number past 2^53, which JSON cannot
// carry exactly; an array or object), else an empty text.
QString textsFromJson(DataType type, const QJsonArray &values, QStringList *texts);

enum class Style {
    Plain, // for people: bits as 0 and 1
    Hex    // numbers as their bit pattern (0xFFFB, 0x40500000), as values are typed
};

// The elements of a record's value as texts. False when the value holds no
// list of the type's element type.
bool formatValues(DataType type, const QVariant &value, Style style, QStringList *texts);

// A list of the one element at `index`, of the same type; an invalid
// QVariant when the value holds no such element.
QVariant valueAt(DataType type, const QVariant &value, int index);

// How a type's values sit in the PLC's 16-bit registers: the registers one
// value takes (2 for int32), or 0 where several values share one register;
// *valuesPerRegister is then how many (2 for int8, 16 for bits).
int registersPerValue(DataType type, int *valuesPerRegister);

// The elements as JSON values: bits as true and false, numbers as numbers.
// What a JSON number cannot carry exactly is a string of the plain text:
// nan, inf and -inf, and 64-bit integers beyond 2^53. False as above.
bool jsonValues(DataType type, const QVariant &value, QJsonArray *values);

} // namespace ValueText

#endif
