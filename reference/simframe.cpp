// SPDX-License-Identifier: LGPL-2.1-or-later
#include "simframe.h"

namespace {

const char hexDigits[] = "0123456789ABCDEF";

// The value of an upper-case hex digit, or -1.
int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The value of `digits` hex digits at `offset`, or -1 when any is missing or
// not an upper-case hex digit.
int hexField(const QByteArray &frame, int offset, int digits)
{
    if (offset < 0 || offset + digits > frame.size())
        return -1;
    int value = 0;
    for (int i = 0; i < digits; ++i) {
        const int digit = hexValue(frame.at(offset + i));
        if (digit < 0)
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

// The value of four decimal digits at `offset`, or -1.
int numberField(const QByteArray &frame, int offset)
{
    if (offset + 4 > frame.size())
        return -1;
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = frame.at(offset + i);
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

void appendHex(QByteArray &out, unsigned value, int digits)
{
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        out.append(hexDigits[(value >> shift) & 0xF]);
}

// Frame layout offsets.
constexpr int stationAt = 1;
constexpr int commandAt = 3;
constexpr int countAt = 5;
constexpr int areaAt = 7;
constexpr int shortestFrame = 8;   // start, station, command, checksum, end

} // namespace

namespace SimFrame {

quint8 checksum(const QByteArray &bytes)
{
    unsigned sum = 0;
    for (char byte : bytes)
        sum += quint8(byte);
    return quint8(sum);
}

SimRequest parseRequest(const QByteArray &frame)
{
    SimRequest request;
    request.station = hexField(frame, stationAt, 2);
    request.command = frame.mid(commandAt, 2);

    auto refuse = [&request](char code) {
        request.error = code;
        return request;
    };

    // Framing and integrity.
    const int length = frame.size();
    if (length < shortestFrame || frame.at(0) != start || frame.at(length - 1) != end)
        return refuse(SimErrorCode::malformed);
    const int checksumAt = length - 3;
    if (hexField(frame, checksumAt, 2) != checksum(frame.left(checksumAt)))
        return refuse(SimErrorCode::checksum);

    // Command and the length it asks for.
    const int bodyAreaChars = request.isBitRead() ? 1 : 2;
    if (!request.isBitRead() && !request.isRegisterRead() && !request.isRegisterWrite())
        return refuse(SimErrorCode::unknownCommand);
    const int count = hexField(frame, countAt, 2);
    if (count < 0)
        return refuse(SimErrorCode::malformed);
    request.count = count;
    const int numberAt = areaAt + bodyAreaChars;
    const int dataAt = numberAt + 4;
    const int dataChars = request.isRegisterWrite() ? 4 * count : 0;
    if (length != dataAt + dataChars + 3 || count == 0)
        return refuse(SimErrorCode::malformed);

    // Body.
    request.area = request.isBitRead()
            ? SimAreas::fromBitCode(frame.at(areaAt))
            : SimAreas::fromRegisterCode(frame.at(areaAt), frame.at(areaAt + 1));
    if (request.area == SimArea::None)
        return refuse(SimErrorCode::unknownArea);
    request.start = numberField(frame, numberAt);
    if (request.start < 0)
        return refuse(SimErrorCode::malformed);
    if (!SimAreas::fits(request.area, request.start, count))
        return refuse(SimErrorCode::outOfRange);
    for (int i = 0; i < dataChars / 4; ++i) {
        const int value = hexField(frame, dataAt + 4 * i, 4);
        if (value < 0)
            return refuse(SimErrorCode::malformed);
        request.values.append(quint16(value));
    }
    return request;
}

QByteArray answer(const SimRequest &request, char errorCode, const QByteArray &data)
{
    QByteArray frame;
    frame.append(start);
    appendHex(frame, unsigned(request.station) & 0xFF, 2);
    // Echo the command; characters that could break the framing are not echoed.
    for (int i = 0; i < 2; ++i) {
        const char c = i < request.command.size() ? request.command.at(i) : '?';
        frame.append(c >= 0x20 && c < 0x7F ? c : '?');
    }
    frame.append(errorCode);
    if (errorCode == SimErrorCode::none)
        frame.append(data);
    appendHex(frame, checksum(frame), 2);
    frame.append(end);
    return frame;
}

QByteArray withWrongChecksum(const QByteArray &answer)
{
    if (answer.size() < shortestFrame)
        return answer;
    const int checksumAt = answer.size() - 3;
    QByteArray wrong = answer.left(checksumAt);
    appendHex(wrong, quint8(checksum(wrong) + 1), 2);
    wrong.append(end);
    return wrong;
}

QByteArray bitData(const QVector<quint16> &bits)
{
    QByteArray data;
    for (quint16 bit : bits)
        data.append(bit ? '1' : '0');
    return data;
}

QByteArray registerData(const QVector<quint16> &registers)
{
    QByteArray data;
    for (quint16 value : registers)
        appendHex(data, value, 4);
    return data;
}

QByteArray hex(unsigned value, int digits)
{
    QByteArray text;
    appendHex(text, value, digits);
    return text;
}

QByteArray checksumText(const QByteArray &bytes)
{
    return hex(checksum(bytes), 2);
}

QByteArray frame(const QByteArray &text)
{
    const QByteArray body = start + text;
    return body + checksumText(body) + end;
}

} // namespace SimFrame
