// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LinkWire.h"

#include <QtCore/QByteArray>

Q_LOGGING_CATEGORY(lcNorvoWire, "norvo.wire", QtWarningMsg)

namespace {

void logBytes(const char *what, const char *bytes, int size)
{
    if (size <= 0 || !LinkWire::isOn())
        return;
    qCDebug(lcNorvoWire, "%s %s", what, QByteArray::fromRawData(bytes, size).toHex().constData());
}

} // namespace

namespace LinkWire {

bool isOn()
{
    return lcNorvoWire().isDebugEnabled();
}

void sent(const char *bytes, int size)
{
    logBytes("sent", bytes, size);
}

void arrived(const char *bytes, int size)
{
    logBytes("arrived", bytes, size);
}

} // namespace LinkWire
