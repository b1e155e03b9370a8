// SPDX-License-Identifier: LGPL-2.1-or-later
#include "exception.h"

#include "JsonNumbers.h"
#include "elementtype_p.h"

#include <QtCore/QJsonArray>
#include <QtCore/QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

// A whole number exactly, as sign and magnitude: 64-bit values past 2^53
// come as decimal texts, and a double cannot tell their neighbours apart.
struct Whole
{
    bool negative = false;
    quint64 magnitude = 0;
};

bool wholeNumber(const QJsonValue &value, Whole *whole)
{
    if (value.isDouble()) {
        const double number = value.toDouble();
        if (number != std::trunc(number) || std::fabs(number) > JsonNumbers::exactLimit)
            return false;
        *whole = {number < 0, quint64(std::fabs(number))};
        return true;
    }
    static const QRegularExpression decimal(QStringLiteral("^(-?)([0-9]+)$"));
    const QRegularExpressionMatch match = decimal.match(value.toString());
    bool ok = false;
    if (match.hasMatch())
        *whole = {!match.captured(1).isEmpty(), match.captured(2).toULongLong(&ok)};
    return ok;
}

// How far apart two numbers are; false when either is no number.
bool distance(const QJsonValue &a, const QJsonValue &b, double *apart)
{
    Whole x;
    Whole y;
    if (wholeNumber(a, &x) && wholeNumber(b, &y)) {
        // Close neighbours have the same sign: their difference is exact.
        if (x.negative == y.negative)
            *apart = double(qMax(x.magnitude, y.magnitude) - qMin(x.magnitude, y.magnitude));
        else
            *apart = double(x.magnitude) + double(y.magnitude);
        return true;
    }
    if (a.isDouble() && b.isDouble()) {
        *apart = std::fabs(a.toDouble() - b.toDouble());
        return true;
    }
    return false;
}

bool changed(const QJsonValue &last, const QJsonValue &now, double deadband)
{
    if (last.isArray() && now.isArray()) {
        const QJsonArray before = last.toArray();
        const QJsonArray after = now.toArray();
        if (before.size() != after.size())
            return true;
        for (int i = 0; i < after.size(); ++i) {
            if (changed(before.at(i), after.at(i), deadband))
                return true;
        }
        return false;
    }
    if (last == now)
        return false;
    double apart = 0;
    return deadband < 0 || !distance(last, now, &apart) || apart > deadband;
}

} // namespace

namespace Exception {

bool publish(const std::optional<Sample> &last, const Sample &sample, double deadband)
{
    if (!last || last->status != sample.status)
        return true;
    return !sample.failed() && changed(last->value, sample.value, deadband);
}

bool sameList(DataType type, const QVariant &a, const QVariant &b)
{
    bool same = false;
    ElementType::visitStored(type, [&](auto tag) {
        using T = typename decltype(tag)::Type;
        const int id = qMetaTypeId<QList<T>>();
        if (a.userType() != id || b.userType() != id)
            return;
        const QList<T> x = a.value<QList<T>>();
        const QList<T> y = b.value<QList<T>>();
        // Bits, not ==: a NaN would never repeat itself.
        same = x.size() == y.size()
            && std::equal(x.cbegin(), x.cend(), y.cbegin(),
                          [](const T &p, const T &q) { return std::memcmp(&p, &q, sizeof(T)) == 0; });
    });
    return same;
}

} // namespace Exception
