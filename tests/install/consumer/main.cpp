// SPDX-License-Identifier: LGPL-2.1-or-later
// A host in miniature, built against an installed LibNorvo: it makes a
// driver through the factory and uses a record, as the panel runtime does.
#include <norvo/CDriveBaseClass.h>

#include <QtCore/QObject>

#include <cstdio>

int main()
{
    CDriveBaseClass *driver = getSharedLibrary();
    if (!driver) {
        std::puts("getSharedLibrary returned no driver");
        return 1;
    }
    CLabelVariable record;
    record.value = QVariant::fromValue(QList<unsigned char>{200});
    const int byte = record.atUInt8(0);
    std::printf("driver '%s' %s; record status %d, byte %d\n", qPrintable(driver->getDriveName()),
                qPrintable(driver->getversion_number()), record.status, byte);
    // The interface has no virtual destructor; the driver is deleted as the
    // QObject it also is.
    delete dynamic_cast<QObject *>(driver);
    return record.status == 1 && byte == 200 ? 0 : 1;
}
