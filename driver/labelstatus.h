// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LABELSTATUS_H
#define LABELSTATUS_H

#include "LinkVerdict.h"

// The status a read or write puts into the label record it returns.
namespace LabelStatus {

enum : int {
    Ok = 0,
    NoResult = 1,         // the record's starting value
    TypeNotSupported = 2, // also: the value does not hold the type's list
    AddressNotUsable = 3, // no area, or no usable element number
    CountNotUsable = 4,   // below 1, odd for an 8-bit write, more than the value holds
    CountTooLarge = 5,    // more units than one request carries
    AnswerUnusable = 7,   // link code -1
    NoAnswer = 8,         // link code -2
    NotConnected = 9      // link code -3, nothing sent
};

// The status for a link layer result; any code the link does not define
// leaves the record without a result.
constexpr int fromLinkCode(int code)
{
    switch (code) {
    case 0:
        return Ok;
    case -1:
        return AnswerUnusable;
    case -2:
        return NoAnswer;
    case -3:
        return NotConnected;
    default:
        return NoResult;
    }
}

// The status for the verdict of a command: a broken or refused answer is
// unusable, none in time (or none that can be trusted) is no answer, and a
// link that is down, or busy with another call, sent nothing.
inline int fromVerdict(const LinkVerdict &verdict)
{
    return fromLinkCode(verdict.linkCode());
}

} // namespace LabelStatus

#endif // LABELSTATUS_H
