#ifndef SIMTESTFRAMES_H
#define SIMTESTFRAMES_H

// Frames written out by hand in the tests, as a driver would send them: the
// checksum is summed here, not by the simulator's code.

#include <QtCore/QByteArray>

inline QByteArray withChecksum(const QByteArray &startAndBody)
{
    unsigned sum = 0;
    for (char byte : startAndBody)
        sum += quint8(byte);
    return startAndBody + QByteArray::number(sum & 0xFF, 16).toUpper().rightJustified(2, '0') + '\x03';
}

// "0146..." -> 0x02 "0146..." checksum 0x03
inline QByteArray request(const QByteArray &text)
{
    return withChecksum('\x02' + text);
}

#endif
