// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary record contents: any variant (each of the twelve lists, other
// variants, none), any type number, count, status and texts, through every
// accessor, copying, assignment and the five operators. The accessors
// report 0, 10 or 11 and give the zero result on failure; copies carry the
// fields they should; an operator's result is the blank record or describes
// the right operand and holds the left type's list, empty or of the left
// count.
#include "FuzzBytes.h"
#include "FuzzTargets.h"

#include "CLabelVariable.h"

#include <cmath>
#include <cstring>

namespace {

template <typename T>
T element(FuzzBytes &in)
{
    if constexpr (std::is_same_v<T, bool>) {
        return in.flag();
    } else if constexpr (std::is_same_v<T, QString>) {
        return in.text(6);
    } else if constexpr (std::is_floating_point_v<T>) {
        // Any bit pattern: infinities, NaNs and denormals included.
        std::conditional_t<sizeof(T) == 4, quint32, quint64> bits = sizeof(T) == 4 ? in.u32() : in.u64();
        T value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    } else {
        return T(in.u64());
    }
}

template <typename T>
QVariant listOf(FuzzBytes &in, int size)
{
    QList<T> list;
    for (int i = 0; i < size; ++i)
        list.append(element<T>(in));
    return QVariant::fromValue(list);
}

QVariant anyValue(FuzzBytes &in)
{
    const int kind = in.byte() % 20;
    const int size = in.inRange(0, 12);
    switch (kind) {
    case 0: return QVariant();
    case 1: return listOf<bool>(in, size);
    case 2: return listOf<char>(in, size);
    case 3: return listOf<unsigned char>(in, size);
    case 4: return listOf<short>(in, size);
    case 5: return listOf<unsigned short>(in, size);
    case 6: return listOf<int>(in, size);
    case 7: return listOf<unsigned int>(in, size);
    case 8: return listOf<float>(in, size);
    case 9: return listOf<qint64>(in, size);
    case 10: return listOf<quint64>(in, size);
    case 11: return listOf<double>(in, size);
    case 12: return listOf<QString>(in, size);
    case 13: {
        QVariantList list;
        for (int i = 0; i < size; ++i)
            list.append(in.flag() ? QVariant(in.i32()) : QVariant(in.text(4)));
        return list;
    }
    case 14: return QVariant(in.i32());
    case 15: return QVariant(in.text(8));
    case 16: return QVariant(in.bytes(8));
    case 17: return QVariant(QStringList { in.text(4), in.text(4) });
    case 18: return QVariant(element<double>(in));
    default: return QVariant::fromValue(QList<QVariant>());
    }
}

int listSize(const QVariant &value)
{
    if (!value.isValid())
        return -1;
    if (value.canConvert<QVariantList>())
        return value.value<QSequentialIterable>().size();
    return -1;
}

CLabelVariable anyRecord(FuzzBytes &in)
{
    CLabelVariable record;
    record.value = anyValue(in);
    record.type = DataType(in.flag() ? in.inRange(-2, 42) : in.i32());
    // Mostly the count the list really has, so the element loops run.
    const int size = listSize(record.value);
    record.count = (in.byte() % 4 != 0 && size >= 0) ? size : in.count();
    record.status = in.i32();
    record.accessError = in.i32();
    record.auxValue = in.i32();
    record.address = in.text(6);
    record.auxText = in.text(6);
    if (in.flag())
        record.timestamp = QDateTime::fromMSecsSinceEpoch(qint64(in.u32()) * 1000);
    return record;
}

bool sameBits(double a, double b)
{
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// An accessor on the record at pos: outcome 0, 10 or 11; the zero result
// unless 0; the list's own element when the variant holds exactly that list.
template <typename T, typename Accessor>
void checkAccessor(CLabelVariable &record, int pos, Accessor at)
{
    const T got = (record.*at)(pos);
    const int outcome = record.accessError;
    FUZZ_CHECK(outcome == 0 || outcome == 10 || outcome == 11);
    if (outcome != 0)
        FUZZ_CHECK(got == T());
    if (record.value.userType() == qMetaTypeId<QList<T>>()) {
        const QList<T> list = record.value.value<QList<T>>();
        const bool inside = pos >= 0 && pos < list.size();
        FUZZ_CHECK(outcome == (inside ? 0 : 10));
        if constexpr (std::is_floating_point_v<T>) {
            if (inside)
                FUZZ_CHECK(sameBits(double(got), double(list.at(pos))));
        } else {
            if (inside)
                FUZZ_CHECK(got == list.at(pos));
        }
    }
}

void checkAccessors(CLabelVariable &record, int pos)
{
    const QVariant before = record.value;
    const int status = record.status;
    const int count = record.count;
    checkAccessor<bool>(record, pos, &CLabelVariable::atbool);
    checkAccessor<char>(record, pos, &CLabelVariable::atchar);
    checkAccessor<char>(record, pos, &CLabelVariable::atInt8);
    checkAccessor<unsigned char>(record, pos, &CLabelVariable::atUInt8);
    checkAccessor<short>(record, pos, &CLabelVariable::atInt16);
    checkAccessor<unsigned short>(record, pos, &CLabelVariable::atUInt16);
    checkAccessor<int>(record, pos, &CLabelVariable::atInt32);
    checkAccessor<unsigned int>(record, pos, &CLabelVariable::atUInt32);
    checkAccessor<float>(record, pos, &CLabelVariable::atFloat);
    checkAccessor<qint64>(record, pos, &CLabelVariable::atInt64);
    checkAccessor<quint64>(record, pos, &CLabelVariable::atUInt64);
    checkAccessor<double>(record, pos, &CLabelVariable::atDouble);
    checkAccessor<QString>(record, pos, &CLabelVariable::atQString);
    // Looking never changes what is looked at.
    FUZZ_CHECK(record.value.userType() == before.userType());
    FUZZ_CHECK(record.status == status && record.count == count);
}

bool isBlank(const CLabelVariable &r)
{
    return r.status == 1 && r.accessError == 1 && !r.value.isValid() && r.timestamp.isNull()
        && r.address.isEmpty() && r.count == 0 && r.type == DT_None && r.auxValue == 0
        && r.auxText.isEmpty();
}

// The element list type of the left operand's type, by meta-type id; 0
// where the operator does not handle the type.
int listTypeFor(DataType type, bool plus)
{
    switch (type) {
    case DT_Bool: return qMetaTypeId<QList<bool>>();
    case DT_Int8: return qMetaTypeId<QList<char>>();
    case DT_UInt8: return qMetaTypeId<QList<unsigned char>>();
    case DT_Int16: case DT_Int16_V1: case DT_Int16_V2: return qMetaTypeId<QList<short>>();
    case DT_UInt16: case DT_UInt16_V1: case DT_UInt16_V2: return qMetaTypeId<QList<unsigned short>>();
    case DT_Int32: case DT_Int32_V1: case DT_Int32_V2: case DT_Int32_V3: case DT_Int32_V4:
        return qMetaTypeId<QList<int>>();
    case DT_UInt32: case DT_UInt32_V1: case DT_UInt32_V2: case DT_UInt32_V3: case DT_UInt32_V4:
        return qMetaTypeId<QList<unsigned int>>();
    case DT_Float: case DT_Float_V1: case DT_Float_V2: case DT_Float_V3: case DT_Float_V4:
        return qMetaTypeId<QList<float>>();
    case DT_Int64: return qMetaTypeId<QList<qint64>>();
    case DT_UInt64: return qMetaTypeId<QList<quint64>>();
    case DT_Double: case DT_Double_V1: case DT_Double_V2: case DT_Double_V3: case DT_Double_V4:
        return qMetaTypeId<QList<double>>();
    case DT_QString: return plus ? qMetaTypeId<QList<double>>() : 0;
    default: return 0;
    }
}

void checkOperatorResult(const CLabelVariable &result, const CLabelVariable &left,
                         const CLabelVariable &right, bool plus)
{
    const int listType = listTypeFor(left.type, plus);
    if (listType == 0) {
        FUZZ_CHECK(isBlank(result));
        return;
    }
    FUZZ_CHECK(result.status == right.status && result.address == right.address
               && result.count == right.count && result.type == right.type
               && result.auxText == right.auxText);
    FUZZ_CHECK(result.accessError == 1 && result.auxValue == 0);
    FUZZ_CHECK(!result.timestamp.isNull());
    FUZZ_CHECK(result.value.userType() == listType);
    const int size = listSize(result.value);
    FUZZ_CHECK(size == 0 || size == left.count);
}

void checkCopies(const CLabelVariable &record, FuzzBytes &in)
{
    const CLabelVariable copy(record);
    FUZZ_CHECK(copy.status == record.status && copy.accessError == record.accessError
               && copy.value.userType() == record.value.userType()
               && copy.timestamp == record.timestamp && copy.address == record.address
               && copy.count == record.count && copy.type == record.type
               && copy.auxValue == record.auxValue && copy.auxText == record.auxText);

    CLabelVariable target;
    target.accessError = in.i32();
    target.auxValue = in.i32();
    const int ownError = target.accessError;
    const int ownAux = target.auxValue;
    target = record;
    FUZZ_CHECK(target.accessError == ownError && target.auxValue == ownAux);
    FUZZ_CHECK(target.status == record.status && target.value.userType() == record.value.userType()
               && target.timestamp == record.timestamp && target.address == record.address
               && target.count == record.count && target.type == record.type
               && target.auxText == record.auxText);
    const CLabelVariable &self = target;
    target = self; // assigning a record to itself keeps everything
    FUZZ_CHECK(target.accessError == ownError && target.count == record.count);
}

} // namespace

namespace NorvoFuzz {

void records(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);
    CLabelVariable left = anyRecord(in);
    CLabelVariable right = in.flag() ? left : anyRecord(in);

    const int positions[] = { -1, 0, qMax(left.count, 1) - 1, left.count, in.count() };
    for (const int pos : positions)
        checkAccessors(left, pos);
    checkAccessors(right, in.count());
    checkCopies(left, in);

    const CLabelVariable rightBefore(right);
    checkOperatorResult(left + right, left, right, true);
    checkOperatorResult(left - right, left, right, false);
    checkOperatorResult(left * right, left, right, false);
    checkOperatorResult(left / right, left, right, false);
    (void)(left == right);
    (void)(left == left);
    // The right operand is read-only to the operators, but for its accessError.
    FUZZ_CHECK(right.status == rightBefore.status && right.count == rightBefore.count
               && right.type == rightBefore.type && right.address == rightBefore.address
               && right.value.userType() == rightBefore.value.userType());
    FUZZ_CHECK(right.accessError == rightBefore.accessError || right.accessError == 0
               || right.accessError == 10 || right.accessError == 11);
}

} // namespace NorvoFuzz
