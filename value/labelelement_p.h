// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LABELELEMENT_P_H
#define LABELELEMENT_P_H

#include <QtCore/QList>
#include <QtCore/QVariant>

// Reading the elements of a record's value. The accessors and the record
// operators both go through here, so they agree on what a value holds.
namespace LabelElement {

// What an element access leaves in a record's accessError.
enum AccessResult {
    Returned = 0,
    OutOfRange = 10,
    NotConvertible = 11
};

// The value as QList<T>: the list it holds when it holds exactly that type
// (shared, not copied), else the converted list, else an empty list.
template<typename T>
QList<T> listOf(const QVariant &value)
{
    return qvariant_cast<QList<T>>(value);
}

// Element pos of the value as QList<T>, or T's zero when there is none;
// accessError tells the two apart.
template<typename T>
T at(const QVariant &value, int pos, int &accessError)
{
    if (!value.canConvert(qMetaTypeId<QList<T>>())) {
        accessError = NotConvertible;
        return T();
    }
    const QList<T> list = listOf<T>(value);
    if (pos < 0 || pos >= list.size()) {
        accessError = OutOfRange;
        return T();
    }
    accessError = Returned;
    return list.at(pos);
}

} // namespace LabelElement

#endif // LABELELEMENT_P_H
