// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_WIRECAPTURE_H
#define NORVO_CLI_WIRECAPTURE_H

#include "CaptureFile.h"

#include <QtCore/QString>

// norvo --pcap: the driver's account of the bytes on the wire (logging
// category norvo.wire: "sent HEX" when it writes, "arrived HEX" for each
// piece it reads) into a capture file. The driver logs each at the moment
// it happens, so the time a line is taken is the time of its bytes.
class WireCapture
{
public:
    static bool isWireAccount(const char *category);
    // The logging rule that switches the account on.
    static QString wireAccountRule();

    bool open(const QString &path, CaptureFile::Link link, QString *error);
    bool isOpen() const { return file_.isOpen(); }

    // Records the bytes of one line of the account; false for a line that
    // is none of the two.
    bool take(const QString &message);

private:
    CaptureFile file_;
    CaptureFile::Link link_ = CaptureFile::Link::Tcp;
};

#endif
