// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef ELEMENTMATH_P_H
#define ELEMENTMATH_P_H

#include <type_traits>

// One element of the record arithmetic: a op b for every element type.
//
// Integers wrap around at their width and never trap: they are computed in
// an unsigned type at least as wide as unsigned int (so nothing promotes to
// a signed int that could overflow) and cut back to their own width.
// Dividing by zero gives 0, and the one quotient that does not fit, the most
// negative value divided by -1, wraps to the most negative value.
// Floats follow IEEE 754, infinities and NaN included.
namespace ElementMath {

enum class Op { Add, Subtract, Multiply, Divide };

template<typename T>
T combineIntegers(Op op, T a, T b)
{
    // A char holds one of the PLC's bytes, 0 to 255, whatever the build's char.
    using I = std::conditional_t<std::is_same<T, char>::value, unsigned char, T>;
    using U = std::make_unsigned_t<std::common_type_t<I, unsigned int>>;
    const I x = static_cast<I>(a);
    const I y = static_cast<I>(b);
    const U ux = static_cast<U>(x);
    const U uy = static_cast<U>(y);

    switch (op) {
    case Op::Add:
        return static_cast<T>(static_cast<I>(ux + uy));
    case Op::Subtract:
        return static_cast<T>(static_cast<I>(ux - uy));
    case Op::Multiply:
        return static_cast<T>(static_cast<I>(ux * uy));
    case Op::Divide:
        break;
    }
    if (y == 0)
        return T(0);
    if constexpr (std::is_signed<I>::value) {
        if (y == -1)
            return static_cast<T>(static_cast<I>(U(0) - ux));
    }
    return static_cast<T>(static_cast<I>(x / y));
}

template<typename T>
T combineFloats(Op op, T a, T b)
{
    switch (op) {
    case Op::Add:
        return a + b;
    case Op::Subtract:
        return a - b;
    case Op::Multiply:
        return a * b;
    case Op::Divide:
        break;
    }
    return a / b;
}

// Bits: + is or, - is exclusive or, * is and; a / b is the quotient's lowest
// bit, which is a when b is set and 0 for a division by zero.
inline bool combineBits(Op op, bool a, bool b)
{
    switch (op) {
    case Op::Add:
        return a || b;
    case Op::Subtract:
        return a != b;
    case Op::Multiply:
    case Op::Divide:
        break;
    }
    return a && b;
}

template<typename T>
T combine(Op op, T a, T b)
{
    if constexpr (std::is_same<T, bool>::value)
        return combineBits(op, a, b);
    else if constexpr (std::is_floating_point<T>::value)
        return combineFloats(op, a, b);
    else
        return combineIntegers(op, a, b);
}

} // namespace ElementMath

#endif // ELEMENTMATH_P_H
