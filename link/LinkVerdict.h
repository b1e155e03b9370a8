// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKVERDICT_H
#define LINKVERDICT_H

#include <QtCore/QLoggingCategory>
#include <QtCore/QString>

// Why a command ended as it did, from the answer check up to the driver.
// The command's return code (0, -1, -2, -3) and the label status (0, 7, 8,
// 9) both follow from it.
struct LinkVerdict
{
    enum Fault {
        None,        // a good answer
        Integrity,   // start byte, end byte or checksum; or bytes that are no frame
        Echo,        // another station or command answered
        PlcError,    // the PLC refused with an error code (plcCode)
        Length,      // not the data characters the request calls for
        DataChars,   // a data character that is no bit or upper-case hex digit
        NoAnswer,    // nothing in time
        NotConnected, // no usable link, or it went away during the wait; nothing sent
        Busy,        // another exchange is waiting on this link; nothing sent
        OutOfStep,   // the link could not prove which answer is whose; nothing trusted
    };

    Fault fault = None;
    char plcCode = 0; // the PLC's error code character, for PlcError

    bool isGood() const { return fault == None; }
    // 0 success, -1 answer unusable, -2 no answer, -3 link not usable.
    int linkCode() const;
    // "length", "plc-error 6", ...: one word (and the code) per fault.
    QString name() const;
};

// The link's own account of frames: failed and dropped frames with their
// verdict, and every synchronisation. Off unless enabled by logging rules
// ("norvo.link.debug=true").
Q_DECLARE_LOGGING_CATEGORY(lcNorvoLink)

#endif // LINKVERDICT_H
