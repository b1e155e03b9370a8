// SPDX-License-Identifier: LGPL-2.1-or-later
#include "WireCapture.h"

#include <cstring>

namespace {

const char wireCategory[] = "norvo.wire";

} // namespace

bool WireCapture::isWireAccount(const char *category)
{
    return category && std::strcmp(category, wireCategory) == 0;
}

QString WireCapture::wireAccountRule()
{
    return QStringLiteral("%1.debug=true").arg(QLatin1String(wireCategory));
}

bool WireCapture::open(const QString &path, CaptureFile::Link link, QString *error)
{
    link_ = link;
    return file_.open(path, error);
}

bool WireCapture::take(const QString &message)
{
    const int blank = message.indexOf(QLatin1Char(' '));
    const QStringRef what = message.leftRef(blank);
    CaptureFile::From from;
    if (what == QLatin1String("sent"))
        from = CaptureFile::From::Host;
    else if (what == QLatin1String("arrived"))
        from = CaptureFile::From::Plc;
    else
        return false;
    const QByteArray bytes = QByteArray::fromHex(message.midRef(blank + 1).toLatin1());
    if (bytes.isEmpty())
        return false;
    // One conversation: the driver's account of owed answers spans its
    // connections, and so does the dissector's pairing.
    file_.write(from, link_, 0, bytes);
    return true;
}
