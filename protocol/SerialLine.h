// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PROTOCOL_SERIALLINE_H
#define NORVO_PROTOCOL_SERIALLINE_H

#include <QtCore/QList>
#include <QtCore/QString>
#include <QtCore/QStringList>

// The serial line settings the driver sets: "port,baud,dataBits,stopBits,parity".
namespace SerialLine {

constexpr int baudRates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
constexpr int minDataBits = 5;
constexpr int maxDataBits = 8;
// Stop bits 1 and 2, and 3 for one and a half.
constexpr int minStopBits = 1;
constexpr int maxStopBits = 3;
constexpr int oneAndHalfStopBits = 3;
// None, even, odd, in either case.
constexpr char parities[] = "NEO";

inline bool isBaudRate(int rate)
{
    for (const int known : baudRates) {
        if (known == rate)
            return true;
    }
    return false;
}

inline QList<int> baudRateList()
{
    QList<int> rates;
    for (const int rate : baudRates)
        rates << rate;
    return rates;
}

// "1200, 2400, ..., 115200"
inline QString baudRateText()
{
    QStringList texts;
    for (const int rate : baudRates)
        texts << QString::number(rate);
    return texts.join(QLatin1String(", "));
}

inline bool isParity(QChar letter)
{
    const char upper = letter.toUpper().toLatin1();
    for (const char *parity = parities; *parity; ++parity) {
        if (upper == *parity)
            return true;
    }
    return false;
}

} // namespace SerialLine

#endif
