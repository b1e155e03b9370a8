// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simframereader.h"

#include "simframe.h"

QList<QByteArray> SimFrameReader::feed(const QByteArray &bytes, QByteArray *noise)
{
    QList<QByteArray> frames;
    for (char byte : bytes) {
        if (byte == SimFrame::start) {
            if (noise)
                noise->append(partial);
            partial = QByteArray(1, byte);
            inFrame = true;
        } else if (!inFrame) {
            if (noise)
                noise->append(byte);
        } else {
            partial.append(byte);
            if (byte == SimFrame::end) {
                frames.append(partial);
                reset();
            } else if (partial.size() >= SimFrame::maxRequestLength) {
                if (noise)
                    noise->append(partial);
                reset();
            }
        }
    }
    return frames;
}

void SimFrameReader::reset()
{
    partial.clear();
    inFrame = false;
}
