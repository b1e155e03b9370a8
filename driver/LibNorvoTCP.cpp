// SPDX-License-Identifier: LGPL-2.1-or-later
#include "LibNorvoTCP.h"

#include "labeladdress.h"

// Construction, the label address members and the plug-in's entry point.

LibNorvoTCP::LibNorvoTCP() = default;

LibNorvoTCP::~LibNorvoTCP() = default;

LibNorvoTCP::AreaType LibNorvoTCP::getArea(QString label)
{
    return LabelAddress::area(label);
}

QString LibNorvoTCP::extractedValue(QString src, QString acc)
{
    return LabelAddress::digits(src, acc);
}

QString LibNorvoTCP::getAddr(QString label, AreaType area)
{
    return LabelAddress::number(label, area);
}

int LibNorvoTCP::getBytelen(DataType type, int count)
{
    return LabelAddress::byteLength(type, count);
}

extern "C" NORVO_EXPORT CDriveBaseClass *getSharedLibrary()
{
    return new LibNorvoTCP;
}
