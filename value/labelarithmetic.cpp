// SPDX-License-Identifier: LGPL-2.1-or-later
#include "CLabelVariable.h"

#include "elementmath_p.h"
#include "elementtype_p.h"
#include "labelelement_p.h"

// Element-wise arithmetic and comparison of two records. The left operand's
// type decides the element type; both lists must hold exactly the left
// operand's count of elements, or no element is looked at.

namespace {

using ElementMath::Op;

template<typename T>
bool lengthsMatch(const CLabelVariable &left, const CLabelVariable &right)
{
    const int size = LabelElement::listOf<T>(left.value).size();
    return size == left.count && size == LabelElement::listOf<T>(right.value).size();
}

template<typename T>
QList<T> combineLists(Op op, CLabelVariable &left, const CLabelVariable &right)
{
    QList<T> result;
    if (!lengthsMatch<T>(left, right))
        return result;
    result.reserve(left.count);
    for (int i = 0; i < left.count; ++i) {
        const T a = LabelElement::at<T>(left.value, i, left.accessError);
        const T b = LabelElement::at<T>(right.value, i, right.accessError);
        result.append(ElementMath::combine(op, a, b));
    }
    return result;
}

template<typename T>
bool listsEqual(bool fieldsMatch, CLabelVariable &left, const CLabelVariable &right)
{
    if (!lengthsMatch<T>(left, right))
        return false;
    if (left.count == 0)
        return fieldsMatch;
    for (int i = 0; i < left.count; ++i) {
        const T a = LabelElement::at<T>(left.value, i, left.accessError);
        const T b = LabelElement::at<T>(right.value, i, right.accessError);
        if (!fieldsMatch || !(a == b))
            return false;
    }
    return true;
}

// The result describes the right operand and carries a fresh time stamp;
// its value is filled in by the caller.
CLabelVariable preparedResult(const CLabelVariable &right)
{
    CLabelVariable result;
    result.status = right.status;
    result.address = right.address;
    result.count = right.count;
    result.type = right.type;
    result.auxText = right.auxText;
    result.timestamp = QDateTime::currentDateTime();
    return result;
}

CLabelVariable arithmetic(Op op, CLabelVariable &left, const CLabelVariable &right)
{
    DataType type = left.type;
    if (type == DT_QString) {
        // Text has no arithmetic: "+" treats a text record as a double
        // one, the other operators give a fresh record.
        if (op != Op::Add)
            return CLabelVariable();
        type = DT_Double;
    }

    CLabelVariable result = preparedResult(right);
    const bool supported = ElementType::visitNumeric(type, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        result.value = QVariant::fromValue(combineLists<T>(op, left, right));
    });
    return supported ? result : CLabelVariable();
}

} // namespace

CLabelVariable CLabelVariable::operator+(const CLabelVariable &other)
{
    return arithmetic(Op::Add, *this, other);
}

CLabelVariable CLabelVariable::operator-(const CLabelVariable &other)
{
    return arithmetic(Op::Subtract, *this, other);
}

CLabelVariable CLabelVariable::operator*(const CLabelVariable &other)
{
    return arithmetic(Op::Multiply, *this, other);
}

CLabelVariable CLabelVariable::operator/(const CLabelVariable &other)
{
    return arithmetic(Op::Divide, *this, other);
}

bool CLabelVariable::operator==(const CLabelVariable &other)
{
    const bool fieldsMatch = status == other.status && type == other.type
            && count == other.count && address == other.address
            && auxText == other.auxText;

    if (type == DT_QString)
        return listsEqual<QString>(fieldsMatch, *this, other);

    bool equal = fieldsMatch;
    ElementType::visitNumeric(type, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        equal = listsEqual<T>(fieldsMatch, *this, other);
    });
    return equal;
}
