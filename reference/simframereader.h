// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMFRAMEREADER_H
#define SIMFRAMEREADER_H

#include <QtCore/QByteArray>
#include <QtCore/QList>

// Cuts a received byte stream into request frames, from a start byte 0x02
// to the next end byte 0x03, as a PLC's receiver does.
//
// Bytes outside a frame are line noise and dropped. A start byte inside a
// frame starts the frame anew (the sender gave up on the first one), and a
// frame that grows longer than any request is dropped, so a stream of
// garbage cannot fill memory.
class SimFrameReader
{
public:
    // The frames completed by `bytes`; what is dropped as noise is added to
    // `noise` when given.
    QList<QByteArray> feed(const QByteArray &bytes, QByteArray *noise = nullptr);
    void reset();

private:
    QByteArray partial;
    bool inFrame = false;
};

#endif
