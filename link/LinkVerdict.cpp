// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LinkVerdict.h"

Q_LOGGING_CATEGORY(lcNorvoLink, "norvo.link", QtWarningMsg)

int LinkVerdict::linkCode() const
{
    switch (fault) {
    case None:
        return 0;
    case Integrity:
    case Echo:
    case PlcError:
    case Length:
    case DataChars:
        return -1;
    case NoAnswer:
    case OutOfStep:
        return -2;
    case NotConnected:
    case Busy:
        break;
    }
    return -3;
}

QString LinkVerdict::name() const
{
    switch (fault) {
    case None:
        return QStringLiteral("good");
    case Integrity:
        return QStringLiteral("integrity");
    case Echo:
        return QStringLiteral("echo");
    case PlcError:
        return QStringLiteral("plc-error %1").arg(QLatin1Char(plcCode ? plcCode : '?'));
    case Length:
        return QStringLiteral("length");
    case DataChars:
        return QStringLiteral("digits");
    case NoAnswer:
        return QStringLiteral("no-answer");
    case NotConnected:
        return QStringLiteral("not-connected");
    case Busy:
        return QStringLiteral("busy");
    case OutOfStep:
        return QStringLiteral("out-of-step");
    }
    return QString();
}
