#include "simframereader.h"

#include "simframe.h"

QList<QByteArray> SimFrameReader::feed(const QByteArray &bytes)
{
    QList<QByteArray> frames;
    for (char byte : bytes) {
        if (byte == SimFrame::start) {
            partial = QByteArray(1, byte);
            inFrame = true;
        } else if (!inFrame) {
            continue;
        } else {
            partial.append(byte);
            if (byte == SimFrame::end) {
                frames.append(partial);
                reset();
            } else if (partial.size() >= SimFrame::maxRequestLength) {
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
