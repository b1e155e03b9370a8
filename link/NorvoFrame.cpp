#include "NorvoFrame.h"

#include <cstring>

namespace NorvoFrame {

quint8 checksum(const QByteArray &bytes, unsigned count)
{
    unsigned sum = 0;
    const unsigned end = qMin(count, unsigned(bytes.size()));
    const unsigned char *byte = reinterpret_cast<const unsigned char *>(bytes.constData());
    for (unsigned i = 0; i < end; ++i)
        sum += byte[i];
    return quint8(sum);
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

bool isIntact(const QByteArray &frame)
{
    const int size = frame.size();
    if (size < AnswerOverhead || frame.at(0) != StartByte || frame.at(size - 1) != EndByte)
        return false;
    const quint8 sum = checksum(frame, unsigned(size - 3));
    return frame.at(size - 3) == char(hexChar(sum >> 4)) && frame.at(size - 2) == char(hexChar(sum & 0xF));
}

QByteArray takeFrame(QByteArray &stream)
{
    for (;;) {
        const int end = stream.indexOf(EndByte);
        if (end < 0) {
            // Nothing whole yet: keep what may still become a frame.
            const int start = stream.lastIndexOf(StartByte);
            stream.remove(0, start < 0 ? stream.size() : start);
            return QByteArray();
        }
        // A run of bytes ending in 0x03 without a start byte is no frame.
        const int start = stream.lastIndexOf(StartByte, end);
        QByteArray frame = start < 0 ? QByteArray() : stream.mid(start, end + 1 - start);
        stream.remove(0, end + 1);
        if (!frame.isEmpty())
            return frame;
    }
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

NorvoRequest::Fault NorvoRequest::check(const QByteArray &answer) const
{
    // Integrity: framing and checksum of whatever came.
    const int size = answer.size();
    if (!isIntact(answer))
        return Fault::Integrity;

    // Echo: the answer is for our station and command (both frames are at
    // least this long: the answer is intact, the request was built whole).
    if (std::memcmp(answer.constData() + 1, frame_.constData() + 1, 4) != 0)
        return Fault::Echo;

    if (answer.at(5) != '0')
        return Fault::PlcError;

    if (size != expectedAnswerLength())
        return Fault::Length;
    const char *data = answer.constData();
    for (int i = 6; i < size - 3; ++i) {
        if (!isDataChar(command_->answerData, data[i]))
            return Fault::DataChars;
    }
    return Fault::None;
}

int NorvoRequest::takeAnswer(const QByteArray &answer, QByteArray *out) const
{
    if (check(answer) != Fault::None)
        return -1;
    if (out) {
        // Sized once: appending digit by digit regrows the buffer many times
        // (1020 digits for 255 registers).
        const int first = 6;
        const int digits = answer.size() - AnswerOverhead;
        const int at = out->size();
        out->resize(at + digits);
        char *to = out->data() + at;
        const unsigned char *from = reinterpret_cast<const unsigned char *>(answer.constData()) + first;
        for (int i = 0; i < digits; ++i)
            to[i] = char(hexValue(from[i]));
    }
    return 0;
}

// The request frame as built above:
//   0x02 | station(1-2) | command(3-4) | count(5-6) | ...
AnswerShape AnswerShape::ofRequest(const QByteArray &request)
{
    AnswerShape shape;
    shape.echo = request.mid(1, 4);
    for (const NorvoCommand *command : commands) {
        if (request.size() < 5 || std::memcmp(request.constData() + 3, command->code, 2) != 0)
            continue;
        if (request.size() < 7)
            break;
        const unsigned high = hexValue(static_cast<unsigned char>(request.at(5)));
        const unsigned low = hexValue(static_cast<unsigned char>(request.at(6)));
        if (high <= 0xF && low <= 0xF)
            shape.goodLength = AnswerOverhead + answerDataChars(*command, int(high * 16 + low));
    }
    return shape;
}

bool AnswerShape::fits(const QByteArray &frame) const
{
    // isIntact() means at least AnswerOverhead bytes.
    if (!isIntact(frame) || echo.size() != 4 || std::memcmp(frame.constData() + 1, echo.constData(), 4) != 0)
        return false;
    return frame.at(5) != '0' || frame.size() == goodLength;
}
