// SPDX-License-Identifier: LGPL-2.1-or-later
#include "connectionstring.h"

#include "ConnectionOptions.h"

namespace {

const QLatin1Char fieldSeparator(',');
const QLatin1Char portSeparator(':');

// The serial string is consumed from the left: each field is the text before
// the next ",", which is then dropped with its ",". Once no "," is left, every
// further field is the whole remaining text ("ttyS1,9600" gives 9600 for baud
// rate, data bits, stop bits and parity alike).
QString takeField(QString *rest)
{
    const int comma = rest->indexOf(fieldSeparator);
    if (comma < 0)
        return *rest;
    const QString field = rest->left(comma);
    rest->remove(0, comma + 1);
    return field;
}

int toNumber(const QString &text)
{
    return text.toInt(nullptr, 10); // 0 when the text is no number
}

} // namespace

bool ConnectionString::isComplete() const
{
    if (!badOption.isEmpty())
        return false;
    switch (kind) {
    case Serial:
        return !portName.isEmpty() && baudRate != 0 && dataBits != 0 && stopBits != 0;
    case Tcp:
        // A TCP port is 16 bits: a larger or negative number would reach
        // another port once narrowed, so it does not count as a port.
        return !host.isEmpty() && port > 0 && port <= 0xFFFF;
    case Unrecognised:
        break;
    }
    return false;
}

ConnectionString ConnectionString::parse(const QString &whole)
{
    ConnectionString result;
    const int options = whole.indexOf(QLatin1Char(ConnectionOptions::separator));
    const QString text = options < 0 ? whole : whole.left(options);
    if (options >= 0) {
        const ConnectionOptions::Parsed parsed = ConnectionOptions::parse(whole.mid(options + 1));
        result.answerWaitMs = parsed.timeoutMs;
        result.badOption = parsed.refused;
    }
    if (text.contains(fieldSeparator)) {
        result.kind = Serial;
        QString rest = text;
        result.portName = takeField(&rest);
        result.baudRate = toNumber(takeField(&rest));
        result.dataBits = toNumber(takeField(&rest));
        result.stopBits = toNumber(takeField(&rest));
        result.parity = takeField(&rest);
    } else if (text.contains(portSeparator) || options >= 0) {
        // A ";" only lets the text through to here; without a ":" the port
        // text is the whole string, which is no number.
        result.kind = Tcp;
        const int colon = text.indexOf(portSeparator);
        result.host = colon < 0 ? text : text.left(colon);
        result.port = toNumber(colon < 0 ? text : text.mid(colon + 1));
    }
    return result;
}
