// SPDX-License-Identifier: LGPL-2.1-or-later
#include "NorvoFrame.h"

#include <cstring>

namespace NorvoFrame {

namespace {

// The one place the checksum is summed: every byte, modulo 256.
quint8 sum(const char *bytes, int count)
{
    unsigned total = 0;
    for (int i = 0; i < count; ++i)
        total += static_cast<unsigned char>(bytes[i]);
    return quint8(total);
}

} // namespace

quint8 checksum(const QByteArray &bytes, unsigned count)
{
    return sum(bytes.constData(), int(qMin(count, unsigned(bytes.size()))));
}

unsigned short hexChar(unsigned short value)
{
    if (value <= 9)
        return value + '0';
    if (value <= 15)
        return value - 10 + 'A';
    return value;
}

unsigned short hexValue(unsigned short code)
{
    if (code >= '0' && code <= '9')
        return code - '0';
    if (code >= 'A' && code <= 'F')
        return code - 'A' + 10;
    return code;
}

bool isIntact(const char *frame, int size)
{
    if (size < AnswerOverhead || frame[0] != StartByte || frame[size - 1] != EndByte)
        return false;
    const quint8 expected = sum(frame, size - AnswerTail);
    return frame[size - AnswerTail] == char(hexChar(expected >> 4))
        && frame[size - AnswerTail + 1] == char(hexChar(expected & 0xF));
}

bool FrameCutter::next(const char **frame, int *frameSize)
{
    while (at_ < size_) {
        const void *end = std::memchr(bytes_ + at_, EndByte, size_t(size_ - at_));
        if (!end)
            return false;
        const int endAt = int(static_cast<const char *>(end) - bytes_);
        // A run of bytes ending in 0x03 without a start byte is no frame.
        const void *start = memrchr(bytes_ + at_, StartByte, size_t(endAt - at_));
        const int startAt = start ? int(static_cast<const char *>(start) - bytes_) : endAt + 1;
        at_ = endAt + 1;
        if (start) {
            *frame = bytes_ + startAt;
            *frameSize = endAt + 1 - startAt;
            return true;
        }
    }
    return false;
}

int FrameCutter::used() const
{
    // What follows the last start byte may still become a frame.
    const void *start = memrchr(bytes_ + at_, StartByte, size_t(size_ - at_));
    return start ? int(static_cast<const char *>(start) - bytes_) : size_;
}

} // namespace NorvoFrame

using namespace NorvoFrame;

const NorvoCommand NorvoCommand::BitRead { "44", 1, false, NorvoCommand::BitChars };
const NorvoCommand NorvoCommand::RegisterRead { "46", 2, false, NorvoCommand::RegisterChars };
const NorvoCommand NorvoCommand::RegisterWrite { "47", 2, true, NorvoCommand::NoData };

namespace {

const NorvoCommand *const commands[] = { &NorvoCommand::BitRead, &NorvoCommand::RegisterRead,
                                         &NorvoCommand::RegisterWrite };

// Data characters of a good answer to count units; -1 for a count the frame
// cannot carry.
int answerDataChars(const NorvoCommand &command, int count)
{
    if (count < 0 || count > MaxCount)
        return -1;
    switch (command.answerData) {
    case NorvoCommand::BitChars:
        return count;
    case NorvoCommand::RegisterChars:
        return 4 * count;
    case NorvoCommand::NoData:
        break;
    }
    return 0;
}

// Two-digit field: the low 8 bits, high digit first.
void appendHex2(QByteArray &frame, int value)
{
    frame.append(char(hexChar((value >> 4) & 0xF)));
    frame.append(char(hexChar(value & 0xF)));
}

// A character of a QString goes out as one byte, 0 when it does not fit.
char textByte(const QString &text, int at)
{
    if (at >= text.size())
        return 0;
    const ushort code = text.at(at).unicode();
    return code <= 0xFF ? char(code) : 0;
}

bool isDataChar(NorvoCommand::AnswerData kind, char c)
{
    if (kind == NorvoCommand::BitChars)
        return c == '0' || c == '1';
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

} // namespace

NorvoRequest::NorvoRequest(const NorvoCommand &command, int station, const QString &number,
                           int count, int area, const QByteArray &nibbles)
    : command_(&command), station_(station & 0xFF), count_(count)
{
    frame_.reserve(16 + (command.carriesData ? 4 * qMax(count, 0) : 0));
    frame_.append(StartByte);                   // 0     start byte
    appendHex2(frame_, station);                // 1-2   station
    frame_.append(command.code, 2);             // 3-4   command code
    appendHex2(frame_, count);                  // 5-6   count
    if (command.areaChars == 2)
        frame_.append(char((area >> 8) & 0xFF)); //       area, first character
    frame_.append(char(area & 0xFF));           //       area, second character
    for (int i = 0; i < 4; ++i)                 //       start address
        frame_.append(textByte(number, i));
    if (command.carriesData) {                  //       four digits per register
        for (int i = 0; i < 4 * count; ++i) {
            const unsigned short value = i < nibbles.size() ? static_cast<unsigned char>(nibbles.at(i)) : 0;
            frame_.append(char(hexChar(value)));
        }
    }
    appendHex2(frame_, checksum(frame_, unsigned(frame_.size()))); // checksum
    frame_.append(EndByte);                                           // end byte
}

int NorvoRequest::expectedDataChars() const
{
    return answerDataChars(*command_, count_);
}

int NorvoRequest::expectedAnswerLength() const
{
    const int data = expectedDataChars();
    return data < 0 ? -1 : AnswerOverhead + data;
}

AnswerShape NorvoRequest::answerShape() const
{
    AnswerShape shape;
    shape.echo = frame_.mid(1, 4);
    shape.goodLength = expectedAnswerLength();
    return shape;
}

LinkVerdict NorvoRequest::check(const char *answer, int size) const
{
    // Integrity: framing and checksum of whatever came.
    if (!isIntact(answer, size))
        return { LinkVerdict::Integrity };

    // Echo: the answer is for our station and command (an intact answer is
    // long enough; a frame made elsewhere may not be).
    // Station and command, as the request sent them.
    if (frame_.size() < 5 || std::memcmp(answer + AnswerAt::station, frame_.constData() + 1, 4) != 0)
        return { LinkVerdict::Echo };

    if (answer[AnswerAt::errorCode] != '0')
        return { LinkVerdict::PlcError, answer[AnswerAt::errorCode] };

    if (size != expectedAnswerLength())
        return { LinkVerdict::Length };
    for (int i = AnswerAt::data; i < size - AnswerTail; ++i) {
        if (!isDataChar(command_->answerData, answer[i]))
            return { LinkVerdict::DataChars };
    }
    return {};
}

void NorvoRequest::appendData(const QByteArray &goodAnswer, QByteArray *out) const
{
    if (!out)
        return;
    // Sized once: appending digit by digit regrows the buffer many times
    // (1020 digits for 255 registers).
    const int first = AnswerAt::data;
    const int digits = goodAnswer.size() - AnswerOverhead;
    const int at = out->size();
    out->resize(at + digits);
    char *to = out->data() + at;
    const unsigned char *from = reinterpret_cast<const unsigned char *>(goodAnswer.constData()) + first;
    for (int i = 0; i < digits; ++i)
        to[i] = char(hexValue(from[i]));
}

// The request frame as built above:
//   0x02 | station(1-2) | command(3-4) | count(5-6) | ...
NorvoRequest NorvoRequest::ofFrame(const QByteArray &frame)
{
    NorvoRequest request;
    request.frame_ = frame;
    request.command_ = &NorvoCommand::RegisterRead;
    const auto field = [&frame](int at) {
        const unsigned high = hexValue(static_cast<unsigned char>(frame.at(at)));
        const unsigned low = hexValue(static_cast<unsigned char>(frame.at(at + 1)));
        return high <= 0xF && low <= 0xF ? int(high * 16 + low) : -1;
    };
    if (frame.size() >= 3)
        request.station_ = qMax(field(1), 0);
    for (const NorvoCommand *command : commands) {
        if (frame.size() >= 5 && std::memcmp(frame.constData() + 3, command->code, 2) == 0) {
            request.command_ = command;
            if (frame.size() >= 7)
                request.count_ = field(5);
        }
    }
    return request;
}

bool AnswerShape::fits(const QByteArray &frame) const
{
    // isIntact() means at least AnswerOverhead bytes.
    if (!isIntact(frame) || echo.size() != 4
        || std::memcmp(frame.constData() + AnswerAt::station, echo.constData(), 4) != 0)
        return false;
    return frame.at(AnswerAt::errorCode) != '0' || frame.size() == goodLength;
}
