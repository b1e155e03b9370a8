// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simpage.h"

#include <QtCore/QFile>

// Outside any namespace, as Q_INIT_RESOURCE requires; a static library's
// resources are otherwise left out by the linker.
static void loadConsoleResources()
{
    Q_INIT_RESOURCE(console);
}

SimPageFile simConsoleFile(const QString &path)
{
    static const bool loaded = (loadConsoleResources(), true);
    (void)loaded;
    struct Served {
        const char *path;
        const char *resource;
        const char *contentType;
    };
    static const Served served[] = {
        {"/", ":/console/index.html", "text/html; charset=utf-8"},
        {"/console.css", ":/console/console.css", "text/css; charset=utf-8"},
        {"/console.js", ":/console/console.js", "text/javascript; charset=utf-8"},
    };
    for (const Served &file : served) {
        if (path != QLatin1String(file.path))
            continue;
        QFile resource(QLatin1String(file.resource));
        if (!resource.open(QIODevice::ReadOnly))
            break;
        return SimPageFile{resource.readAll(), file.contentType};
    }
    return SimPageFile();
}
