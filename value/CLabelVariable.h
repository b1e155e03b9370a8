// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef CLABELVARIABLE_H
#define CLABELVARIABLE_H

#include "DataType.h"
#include "norvoglobal.h"

#include <QtCore/QDateTime>
#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QVariant>

// A label's value as it crosses between the host and the driver.
//
// The layout is shared with the host: fields, their order and their types
// must not change. The accessors are not const because each records its
// outcome in accessError (0 element returned, 10 position out of range,
// 11 value not convertible to the accessor's list type).
class NORVO_EXPORT CLabelVariable
{
public:
    CLabelVariable();
    CLabelVariable(const CLabelVariable &other);
    // Takes every field but accessError and auxValue, which stay the target's.
    CLabelVariable &operator=(const CLabelVariable &other);
    ~CLabelVariable();

    bool atbool(int pos);
    char atchar(int pos);
    char atInt8(int pos);
    unsigned char atUInt8(int pos);
    short atInt16(int pos);
    unsigned short atUInt16(int pos);
    int atInt32(int pos);
    unsigned int atUInt32(int pos);
    float atFloat(int pos);
    qint64 atInt64(int pos);
    quint64 atUInt64(int pos);
    double atDouble(int pos);
    QString atQString(int pos);

    // Element-wise arithmetic and comparison, dispatched on this record's type.
    CLabelVariable operator+(const CLabelVariable &other);
    CLabelVariable operator-(const CLabelVariable &other);
    CLabelVariable operator*(const CLabelVariable &other);
    CLabelVariable operator/(const CLabelVariable &other);
    bool operator==(const CLabelVariable &other);

    int status;
    // Mutable because the operators read their read-only right operand
    // through the accessors too, and those record their outcome here.
    mutable int accessError;
    // A QList of the type's element, QList<short> for DT_Int16 (the table in
    // CDriveBaseClass.h); a plain number or a QVariantList is refused.
    QVariant value;
    QDateTime timestamp;
    QString address;
    int count;
    DataType type;
    int auxValue;
    QString auxText;
};

#endif // CLABELVARIABLE_H
