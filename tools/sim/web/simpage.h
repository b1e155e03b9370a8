// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMPAGE_H
#define SIMPAGE_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

// The web console: an HTML page, a stylesheet and a script (console/ beside
// this file) that work the REST API (SimApi), compiled into the program with
// Qt's resource system; nothing is downloaded.
struct SimPageFile {
    QByteArray content;
    QByteArray contentType;     // empty when there is no such file
};

// The file served at `path` ("/" is the page).
SimPageFile simConsoleFile(const QString &path);

#endif
