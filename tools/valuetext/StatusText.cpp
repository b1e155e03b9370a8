// SPDX-License-Identifier: LGPL-2.1-or-later
#include "StatusText.h"

namespace StatusText {

QString labelStatus(int status)
{
    switch (status) {
    case 0: return QStringLiteral("success");
    case 1: return QStringLiteral("no result produced");
    case 2: return QStringLiteral("type not supported or value not of the type");
    case 3: return QStringLiteral("address not usable");
    case 4: return QStringLiteral("count not usable");
    case 5: return QStringLiteral("count too large");
    case 7: return QStringLiteral("answer unusable or reporting an error");
    case 8: return QStringLiteral("no answer in time");
    case 9: return QStringLiteral("link not connected");
    default: return QStringLiteral("unknown status");
    }
}

QString connectResult(int code, const QString &connection)
{
    const bool serial = connection.contains(QLatin1Char(','));
    switch (code) {
    case 0: return QStringLiteral("connected");
    case -1:
        return serial ? QStringLiteral("the serial port could not be opened")
                      : QStringLiteral("the address or port is not usable");
    case -3: return QStringLiteral("the TCP link did not open");
    case -4: return QStringLiteral("not a connection string");
    default: return QStringLiteral("connection failed");
    }
}

} // namespace StatusText
