// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PLUGINHOST_PLUGINLOADER_H
#define NORVO_PLUGINHOST_PLUGINLOADER_H

#include <QtCore/QString>

class CDriveBaseClass;

// Loads the driver plug-in as the panel runtime does: dlopen, then the one
// exported factory getSharedLibrary. The library stays loaded for the rest
// of the process: Qt's type registry keeps the functions of the list types
// it registered, as it does for Qt's own plug-ins.
class PluginLoader
{
public:
    // `path` when given; else libLibNorvo.so.1 beside the tool (the build
    // tree keeps it two folders up, an installation in ../lib), else the
    // system's. False with errorString() when none loads.
    bool load(const QString &path, const QString &toolDir);

    QString errorString() const { return error_; }
    // The file the plug-in was loaded from.
    QString fileName() const { return fileName_; }

    // A new driver from the factory; null when it gives none.
    CDriveBaseClass *createDriver() const;
    // The interface has no virtual destructor: a driver goes as the QObject it is.
    static void destroyDriver(CDriveBaseClass *driver);

private:
    bool open(const QString &path);

    void *handle_ = nullptr;
    CDriveBaseClass *(*factory_)() = nullptr;
    QString fileName_;
    QString error_;
};

#endif
