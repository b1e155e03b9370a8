// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_STATUSTEXT_H
#define NORVO_CLI_STATUSTEXT_H

#include <QtCore/QString>

// What the driver's numbers mean, in words for the user.
namespace StatusText {

// The record status of a request made while the link is down: nothing was sent.
constexpr int notConnected = 9;

// The status of a record that ReadVariable or WriteVariable returned.
QString labelStatus(int status);

// The result of ConnectDrive for the given connection string.
QString connectResult(int code, const QString &connection);

} // namespace StatusText

#endif
