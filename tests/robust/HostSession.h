// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_ROBUST_HOSTSESSION_H
#define NORVO_ROBUST_HOSTSESSION_H

#include "CDriveBaseClass.h"

#include <QtCore/QObject>
#include <QtCore/QString>

#include <atomic>

// What the host does with the plug-in: take a driver from the factory and
// delete it as the QObject it is (the interface has no virtual destructor).
inline CDriveBaseClass *newDriver()
{
    return getSharedLibrary();
}

inline void deleteDriver(CDriveBaseClass *driver)
{
    delete dynamic_cast<QObject *>(driver);
}

// Keeps the link's routine warnings off the output and counts them: the
// "Disconnected" line of every dropped or closed TCP link (hundreds in these
// tests), and Qt's "device not open" when a request finds the TCP link
// closed. Every other message goes through as usual. Install it after the
// test log's own handler, e.g. in initTestCase.
class QuietLinkMessages
{
public:
    QuietLinkMessages();
    ~QuietLinkMessages();

    static int disconnects();
    static int readsOnClosedSocket();

private:
    Q_DISABLE_COPY(QuietLinkMessages)
};

#endif
