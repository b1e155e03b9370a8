// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef SIMFRAME_H
#define SIMFRAME_H

#include "simarea.h"

#include <QtCore/QByteArray>
#include <QtCore/QVector>

// The PLC's side of the frames.
//
// Request, as the PLC receives it:
//
//   offset  length  content
//   0       1       0x02
//   1       2       station, two hex digits
//   3       2       command: "44" bit read, "46" register read, "47" register write
//   5       n       body
//   5+n     2       checksum: sum of bytes 0..4+n modulo 256, two hex digits
//   7+n     1       0x03
//
// Bodies:
//   "44"  count(2) area(1) number(4)                    frame of 15 bytes
//   "46"  count(2) area(2) number(4)                    frame of 16 bytes
//   "47"  count(2) area(2) number(4) data(4 x count)    frame of 16 + 4 x count bytes
// count is two hex digits (1..255), number four decimal digits (0000..9999),
// data four hex digits per register, most significant first. The bit read
// carries one area character (X, Y, M, S, T, C); the register commands two
// (R0, D0, RT, RC, WX, WY, WM, WS, WT, WC).
//
// Answer, as the PLC sends it:
//
//   0x02, station(2), command(2), error code(1), data, checksum(2), 0x03
//
// with the request's station and command echoed. Data: "44" one '0' or '1'
// per bit, "46" four hex digits per register, "47" none. An answer with an
// error code other than '0' carries no data.
//
// Hex digits are upper case, both ways; the PLC refuses lower case.

// The error codes of the answer.
namespace SimErrorCode {
constexpr char none = '0';
constexpr char checksum = '1';        // the request's checksum is wrong
constexpr char unknownCommand = '2';  // not "44", "46" or "47"
constexpr char malformed = '3';       // length, count, number or data digits not as above
constexpr char unknownArea = '4';     // area characters name no area of the command
constexpr char outOfRange = '5';      // the run reaches past element 9999
constexpr char busy = '6';            // sent only by the error-code fault, by default
} // namespace SimErrorCode

// One request frame, parsed.
struct SimRequest {
    int station = -1;          // -1 when the station field is unreadable
    QByteArray command;        // the command characters, as they came
    char error = SimErrorCode::none;
    SimArea area = SimArea::None;
    int start = 0;
    int count = 0;
    QVector<quint16> values;   // the registers of a "47"

    bool isBitRead() const { return command == "44"; }
    bool isRegisterRead() const { return command == "46"; }
    bool isRegisterWrite() const { return command == "47"; }
};

namespace SimFrame {

constexpr char start = 0x02;
constexpr char end = 0x03;

// Longer frames than a 255-register write cannot be requests.
constexpr int maxRequestLength = 16 + 4 * 255;

quint8 checksum(const QByteArray &bytes);

// Parses a whole frame, from its start byte to its end byte, checking it in
// layers: framing, then checksum, then command, then body. The first fault
// found sets `error`; the station, and the count of a known command, are
// read whenever they can be.
SimRequest parseRequest(const QByteArray &frame);

// The answer frame to `request` with `errorCode` and the data characters.
QByteArray answer(const SimRequest &request, char errorCode, const QByteArray &data = QByteArray());

// The same answer with its checksum off by one, for the checksum fault.
QByteArray withWrongChecksum(const QByteArray &answer);

// Data characters of the answers.
QByteArray bitData(const QVector<quint16> &bits);
QByteArray registerData(const QVector<quint16> &registers);

// Frames built by hand, for tests and scripted answers that need bytes the
// engine would never send (a wrong station, an error code with data).

// `value` as `digits` upper-case hex digits.
QByteArray hex(unsigned value, int digits);

// The checksum of `bytes` as its two hex digits.
QByteArray checksumText(const QByteArray &bytes);

// 0x02, text, the checksum of both, 0x03: "014601D00005" gives the read
// request of D5 at station 1, "01460" "BEEF" its answer.
QByteArray frame(const QByteArray &text);

} // namespace SimFrame

#endif
