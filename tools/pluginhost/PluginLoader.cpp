// SPDX-License-Identifier: LGPL-2.1-or-later
#include "PluginLoader.h"

#include "CDriveBaseClass.h"
#include "RecordSymbols.h"

#include <QtCore/QDir>
#include <QtCore/QFileInfo>

#include <dlfcn.h>

namespace {

const char libraryName[] = "libLibNorvo.so.1";

QString dlError()
{
    const char *text = dlerror();
    return text ? QString::fromLocal8Bit(text) : QStringLiteral("unknown error");
}

} // namespace

bool PluginLoader::load(const QString &path, const QString &toolDir)
{
    if (!path.isEmpty()) {
        if (!QFileInfo::exists(path)) {
            error_ = QStringLiteral("plug-in %1 does not exist").arg(path);
            return false;
        }
        // A name without a slash would send dlopen searching the system.
        return open(QFileInfo(path).absoluteFilePath());
    }
    const QDir dir(toolDir);
    for (const QString &candidate : {dir.filePath(QLatin1String(libraryName)),
                                     dir.filePath(QStringLiteral("../../%1").arg(libraryName)),
                                     dir.filePath(QStringLiteral("../lib/%1").arg(libraryName))}) {
        if (QFileInfo::exists(candidate))
            return open(QDir::cleanPath(candidate));
    }
    return open(QLatin1String(libraryName));
}

bool PluginLoader::open(const QString &path)
{
    handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
        error_ = QStringLiteral("cannot load the plug-in: %1").arg(dlError());
        return false;
    }
    factory_ = reinterpret_cast<CDriveBaseClass *(*)()>(dlsym(handle_, "getSharedLibrary"));
    if (!factory_) {
        error_ = QStringLiteral("%1 is no driver plug-in: it exports no getSharedLibrary").arg(path);
        return false;
    }
    error_ = bindRecordSymbols(handle_);
    if (!error_.isEmpty())
        return false;

    Dl_info where{};
    fileName_ = dladdr(reinterpret_cast<void *>(factory_), &where) && where.dli_fname
                    ? QFileInfo(QFile::decodeName(where.dli_fname)).absoluteFilePath()
                    : path;
    return true;
}

CDriveBaseClass *PluginLoader::createDriver() const
{
    return factory_ ? factory_() : nullptr;
}

void PluginLoader::destroyDriver(CDriveBaseClass *driver)
{
    delete dynamic_cast<QObject *>(driver);
}
