// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_JSONNUMBERS_H
#define NORVO_PROTOCOL_JSONNUMBERS_H

// How values travel in JSON, for every tool that sends them so.
namespace JsonNumbers {

// Past 2^53 a double, as JSON numbers are read, no longer holds every whole
// number: such values travel as strings.
constexpr double exactLimit = 9007199254740992.0;

} // namespace JsonNumbers

#endif
