// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_SIMULATORERRORS_H
#define NORVO_PROTOCOL_SIMULATORERRORS_H

#include <QtCore/QString>

// The error codes norvo-sim answers with, and what they mean there. A real
// PLC may give a code another meaning, so the meaning is shown as
// norvo-sim's: "PLC error code 6 (norvo-sim: busy)". norvo's trace, norvo-sim
// and the dissector's tables (tools/wireshark/norvo.lua, checked by a test)
// take them from here.
namespace SimulatorErrors {

struct Meaning
{
    char code;
    const char *text;
};

constexpr Meaning meanings[] = {
    {'1', "the request's checksum was wrong"},
    {'2', "unknown command"},
    {'3', "malformed request"},
    {'4', "unknown area"},
    {'5', "elements past 9999"},
    {'6', "busy"},
};

// "norvo-sim: busy", or "no known meaning".
inline QString meaning(char code)
{
    for (const Meaning &entry : meanings) {
        if (entry.code == code)
            return QStringLiteral("norvo-sim: ") + QLatin1String(entry.text);
    }
    return QStringLiteral("no known meaning");
}

// "PLC error code 6 (norvo-sim: busy)".
inline QString describe(char code)
{
    return QStringLiteral("PLC error code %1 (%2)").arg(QString(QLatin1Char(code)), meaning(code));
}

} // namespace SimulatorErrors

#endif
