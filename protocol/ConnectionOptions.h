// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_CONNECTIONOPTIONS_H
#define NORVO_PROTOCOL_CONNECTIONOPTIONS_H

#include <QtCore/QString>
#include <QtCore/QStringList>

// The options of a connection string: after a ";", as key=value, separated
// by ";". The host's configuration reaches the driver only through this
// string, so what a line needs beyond its address goes here.
//   timeout=MS   the longest wait for an answer's first bytes
//                e.g. "192.168.1.5:500;timeout=1000"
namespace ConnectionOptions {

constexpr char separator = ';';
constexpr char timeoutKey[] = "timeout";
// Without a setting the driver waits this long at first, then learns the line.
constexpr int defaultTimeoutMs = 300;
constexpr int minTimeoutMs = 50;
constexpr int maxTimeoutMs = 10000;

struct Parsed
{
    int timeoutMs = 0;  // 0: not set
    QString refused;    // the first option that is unknown or out of range
};

// The text after the first ";"; keys are case-sensitive, the last of two wins.
inline Parsed parse(const QString &text)
{
    Parsed parsed;
    for (const QString &option : text.split(QLatin1Char(separator))) {
        const int equals = option.indexOf(QLatin1Char('='));
        bool ok = false;
        const int value = equals < 0 ? 0 : option.mid(equals + 1).toInt(&ok, 10);
        if (option.left(equals) != QLatin1String(timeoutKey) || !ok || value < minTimeoutMs
            || value > maxTimeoutMs) {
            parsed.refused = option.isEmpty() ? QStringLiteral("(empty)") : option;
            return parsed;
        }
        parsed.timeoutMs = value;
    }
    return parsed;
}

// Why an option is refused, for people.
inline QString refusal(const QString &option)
{
    return QStringLiteral("connection option %1 is not %2=MS with MS from %3 to %4")
        .arg(option, QLatin1String(timeoutKey))
        .arg(minTimeoutMs)
        .arg(maxTimeoutMs);
}

} // namespace ConnectionOptions

#endif
