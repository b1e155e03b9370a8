// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVOFRAME_H
#define NORVOFRAME_H

#include "Limits.h"
#include "LinkVerdict.h"

#include <QtCore/QByteArray>
#include <QtCore/QString>

// The PLC's frames, built and checked without any I/O.
//
//   request  0x02 | station(2 hex) | command(2) | count(2 hex) | area(1 or 2)
//                 | address(4) | data digits (writes) | checksum(2 hex) | 0x03
//   answer   0x02 | station(2 hex) | command(2) | error code(1) | data
//                 | checksum(2 hex) | 0x03
//
// Numbers travel as upper-case hex digits; a two-digit field holds the low
// 8 bits of its value. The checksum is the sum of every byte before it,
// modulo 256.
namespace NorvoFrame {

constexpr char StartByte = 0x02;
constexpr char EndByte = 0x03;
// Start, station, command, error code, checksum and end byte of an answer.
constexpr int AnswerOverhead = 9;
// Where an answer's fields start.
namespace AnswerAt {
constexpr int station = 1;
constexpr int command = 3;
constexpr int errorCode = 5;
constexpr int data = 6;
} // namespace AnswerAt
// Bytes after an answer's data: two checksum digits and the end byte.
constexpr int AnswerTail = 3;
// The most units (bits or registers) one request can carry.
constexpr int MaxCount = Limits::maxUnits;

// Sum of the first count bytes modulo 256; positions past the end count as 0.
quint8 checksum(const QByteArray &bytes, unsigned count);
// 0..15 as '0'..'9', 'A'..'F'; any other value unchanged.
unsigned short hexChar(unsigned short value);
// '0'..'9', 'A'..'F' as 0..15; any other code unchanged.
unsigned short hexValue(unsigned short code);

// Start byte first, end byte last, checksum right: the frame arrived as sent.
bool isIntact(const char *frame, int size);
inline bool isIntact(const QByteArray &frame) { return isIntact(frame.constData(), frame.size()); }

// Walks the whole frames of a byte stream front to back, in one pass: a
// frame runs from the last start byte before an end byte up to that end
// byte. Bytes outside frames are noise (or the tail of a frame whose start
// was lost).
class FrameCutter
{
public:
    FrameCutter(const char *bytes, int size) : bytes_(bytes), size_(size) {}

    // The next whole frame (pointing into the stream), or false.
    bool next(const char **frame, int *frameSize);
    // Bytes before the part that may still become a frame.
    int used() const;

private:
    const char *bytes_;
    int size_;
    int at_ = 0;
};

} // namespace NorvoFrame

// What tells the answers to one request apart from the answers to another.
// Answers carry no address: only the echoed station and command, the error
// code and the length. Every error answer of a station and command looks
// alike, whatever was asked.
struct AnswerShape
{
    QByteArray echo;     // station and command characters of the request
    int goodLength = -1; // length of an answer with error code '0'; -1: none

    // An intact frame with this echo: a good answer of goodLength, or an
    // error answer.
    bool fits(const QByteArray &frame) const;
    // Some answer would fit both.
    bool overlaps(const AnswerShape &other) const { return echo == other.echo; }
    bool operator==(const AnswerShape &other) const
    {
        return echo == other.echo && goodLength == other.goodLength;
    }
};

// What sets the three commands apart; the procedure is the same for all.
struct NorvoCommand
{
    enum AnswerData { NoData, BitChars, RegisterChars };

    const char *code;      // two characters
    int areaChars;         // 1: the area code's second character only; 2: both
    bool carriesData;      // four data digits per register follow the address
    AnswerData answerData; // what the data characters of a good answer are

    static const NorvoCommand BitRead;      // "44"
    static const NorvoCommand RegisterRead; // "46"
    static const NorvoCommand RegisterWrite; // "47"
};

// One request and the judgement of its answer (value class).
class NorvoRequest
{
public:
    // number: its first four characters are sent; a character above 0xFF or
    // past the end goes out as byte 0. nibbles: the digits of a write, one
    // value per byte (positions past the end are sent as "0").
    NorvoRequest(const NorvoCommand &command, int station, const QString &number, int count,
                 int area, const QByteArray &nibbles = QByteArray());

    // A frame made elsewhere, read back: its command and count (an unknown
    // command gets no good answer).
    static NorvoRequest ofFrame(const QByteArray &frame);

    const QByteArray &frame() const { return frame_; }
    const NorvoCommand &command() const { return *command_; }
    int station() const { return station_; }
    int count() const { return count_; }

    // Data characters a good answer carries; -1 for a count the frame
    // cannot carry (below 0 or above 255), which no answer satisfies.
    int expectedDataChars() const;
    // Length of a good answer in bytes; -1 as above.
    int expectedAnswerLength() const;
    AnswerShape answerShape() const;

    // In the order the checks run: Integrity (framing and checksum), Echo,
    // PlcError, Length, DataChars; None for a good answer.
    LinkVerdict check(const char *answer, int size) const;
    LinkVerdict check(const QByteArray &answer) const { return check(answer.constData(), answer.size()); }
    // Appends the data of an answer judged good as nibble bytes (one
    // digit's value per byte) to out, if out is given.
    void appendData(const QByteArray &goodAnswer, QByteArray *out) const;

private:
    NorvoRequest() = default;

    const NorvoCommand *command_ = nullptr;
    int station_ = 0; // as sent: the low 8 bits
    int count_ = -1;
    QByteArray frame_;
};

#endif // NORVOFRAME_H
