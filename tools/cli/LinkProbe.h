// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_LINKPROBE_H
#define NORVO_CLI_LINKPROBE_H

#include <QtCore/QString>

// When the driver cannot open a link it says little (-1 or -3). norvo then
// looks for itself, without the driver, to tell the causes apart.
namespace LinkProbe {

// For "ADDRESS:PORT": refused (nothing listens), no answer within the
// time, or what else the system reports. Empty when a connection succeeds.
QString tcpProblem(const QString &address, int port, int timeoutMs);

// For a serial device path: missing, not a terminal, busy (locked or opened
// exclusively by another program), no permission. Empty when none is found.
QString serialProblem(const QString &path);

// A pseudo-terminal (or a link to one): it takes any line settings.
bool isPseudoTerminal(const QString &path);

// The problem for a whole connection string.
QString problem(const QString &connection);

} // namespace LinkProbe

#endif
