// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKDROPWARNING_H
#define LINKDROPWARNING_H

#include <QtCore/QString>
#include <QtCore/QtGlobal>

// The warning the driver writes whenever a TCP link drops. Programs that
// drop links on purpose (benchmarks, tests) count or hide it.
inline bool isLinkDropWarning(QtMsgType type, const QString &message)
{
    return type == QtWarningMsg && message.startsWith(QLatin1String("lib[Norvo]"))
        && message.contains(QLatin1String(" Disconnected="));
}

#endif // LINKDROPWARNING_H
