// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMHOST_H
#define SIMHOST_H

#include <QtNetwork/QHostAddress>

// An address as it is written before ":PORT": IPv6 in brackets.
inline QString simHostText(const QHostAddress &address)
{
    const QString text = address.toString();
    return address.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + text + QLatin1Char(']') : text;
}

#endif
