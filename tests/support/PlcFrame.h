#ifndef NORVO_TESTS_PLCFRAME_H
#define NORVO_TESTS_PLCFRAME_H

#include <QtCore/QByteArray>
#include <QtCore/QList>
#include <QtCore/QString>

// Frames as the PLC sees them, for test peers. Written from the PLC's side
// and independent of the driver's own frame code, so a test compares the
// driver against an outside view of the protocol.
//
//   request  0x02 | station(2 hex) | command(2) | count(2 hex) | area(1 or 2)
//                 | address(4) | data (write only) | checksum(2 hex) | 0x03
//   answer   0x02 | station(2 hex) | command(2) | error code(1) | data
//                 | checksum(2 hex) | 0x03
//
// The checksum is the sum of every byte before it, modulo 256, as two
// upper-case hex digits. Bit reads ("44") carry one area character, register
// reads ("46") and writes ("47") two.
namespace PlcFrame {

constexpr char Stx = 0x02;
constexpr char Etx = 0x03;

// Two upper-case hex digits of the low 8 bits of value.
QByteArray hex2(int value);

// Checksum over all of bytes, as two upper-case hex digits.
QByteArray checksum(const QByteArray &bytes);

// An answer frame: errorCode is the character sent (normally '0'); dataChars
// go in as they are.
QByteArray answer(int station, const QByteArray &command, char errorCode,
                  const QByteArray &dataChars = QByteArray());

// Register contents as data characters: {0x12AB, 5} gives "12AB0005".
QByteArray registerChars(const QList<quint16> &registers);

// A request split into its fields. valid is true only when the frame has
// both end bytes, a known command, the length its count calls for and a
// correct checksum; fault then says what is wrong. The fields hold what
// could be read even when the frame is not valid.
struct Request
{
    bool valid = false;
    QString fault;
    int station = -1;
    QByteArray command;
    int count = -1;
    QByteArray area;    // one character for "44", two otherwise
    QByteArray address; // four characters
    QByteArray data;    // data characters of a write
};

Request parseRequest(const QByteArray &frame);

// The canonical correct answer to a valid request, with the given data
// characters for reads (an acknowledgement for writes).
QByteArray answerTo(const Request &request, const QByteArray &dataChars = QByteArray());

} // namespace PlcFrame

#endif
