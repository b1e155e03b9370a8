// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_LIMITS_H
#define NORVO_PROTOCOL_LIMITS_H

// How far a request reaches.
namespace Limits {

// A frame carries the station in two hex digits.
constexpr int maxStation = 255;
// The most units one request carries, registers or the bits of a bit read:
// its count travels as two hex digits.
constexpr int maxUnits = 255;
// The most values the host's record may hold for one write. Larger counts
// are refused before anything else is looked at, although far fewer fit
// one request.
constexpr int maxWriteCount = 65535;

} // namespace Limits

#endif
