// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary bytes as the PLC's answer to a bit read, a register read or a
// register write, with arbitrary counts. An answer is either refused (-1,
// nothing appended) or taken, and then it is a well-formed answer for this
// very request and yields exactly the data characters the request called
// for. A taken read answer is decoded by the read path's own decoding (the
// driver's decoders) and every value is checked against the data characters
// bit by bit; encoding the values with the write path's encoders gives the
// register data back.
#include "FuzzBytes.h"
#include "FuzzTargets.h"

#include "LibNorvoTCP.h"
#include "NorvoFrame.h"
#include "requestplan.h"
#include "simframe.h"
#include "valuecoding.h"

namespace {

const int areas[] = {
    LibNorvoTCP::Area_RT, LibNorvoTCP::Area_RC, LibNorvoTCP::Area_R,  LibNorvoTCP::Area_D,
    LibNorvoTCP::Area_WX, LibNorvoTCP::Area_WY, LibNorvoTCP::Area_WM, LibNorvoTCP::Area_WS,
    LibNorvoTCP::Area_WT, LibNorvoTCP::Area_WC,
};

// A frame of the protocol: start and end byte and a checksum over
// everything before it.
bool wellFramed(const QByteArray &frame)
{
    const int size = frame.size();
    return size >= 3 && frame.at(0) == 0x02 && frame.at(size - 1) == 0x03
        && frame.mid(size - 3, 2) == SimFrame::checksumText(frame.left(size - 3));
}

// Moves a random answer closer to a good one, so that the checks behind
// the checksum get their share of inputs.
void repair(QByteArray &answer, const QByteArray &request, quint8 how)
{
    if (answer.size() < NorvoFrame::AnswerOverhead)
        return;
    if (how & 1)
        answer.replace(1, 4, request.mid(1, 4)); // station and command echoed
    if (how & 2)
        answer[5] = '0';                         // no error
    if (how & 4) {
        answer[0] = 0x02;
        answer[answer.size() - 1] = 0x03;
    }
    if (how & 8)
        answer.replace(answer.size() - 3, 2, SimFrame::checksumText(answer.left(answer.size() - 3)));
}

template <typename T>
QList<T> listIn(const QVariant &value)
{
    FUZZ_CHECK(value.userType() == qMetaTypeId<QList<T>>());
    return value.value<QList<T>>();
}

// Bit k of the data as the PLC meant it: on a bit read one byte per bit; on
// a register read bit k is bit k % 16 of register k / 16, the register
// written as four hex digits.
bool bitAt(const QByteArray &data, bool bitRead, qint64 k)
{
    if (bitRead)
        return k < data.size() && data.at(int(k)) != 0;
    const qint64 first = k / 16 * 4;
    if (first + 4 > data.size())
        return false;
    unsigned reg = 0;
    for (int i = 0; i < 4; ++i)
        reg = reg << 4 | quint8(data.at(int(first + i)));
    return (reg >> (k % 16)) & 1;
}

// The pattern of value k of `bits` bits: on a bit read its bits follow one
// another, lowest first; on a register read its registers follow one
// another, lowest word first (8-bit values: a register's high byte first).
quint64 patternAt(const QByteArray &data, bool bitRead, int bits, qint64 k)
{
    quint64 pattern = 0;
    if (bitRead) {
        for (int j = 0; j < bits; ++j)
            pattern |= quint64(bitAt(data, true, k * bits + j)) << j;
        return pattern;
    }
    const qint64 first = k * bits / 4;
    auto nibble = [&](qint64 at) { return quint64(at < data.size() ? quint8(data.at(int(at))) : 0); };
    if (bits == 8)
        return nibble(first) << 4 | nibble(first + 1);
    for (int word = 0; word < bits / 16; ++word) {
        quint64 reg = 0;
        for (int i = 0; i < 4; ++i)
            reg = reg << 4 | nibble(first + word * 4 + i);
        pattern |= reg << (16 * word);
    }
    return pattern;
}

template <typename T>
void checkValues(const QVariant &value, const QByteArray &data, bool bitRead, int count)
{
    const QList<T> list = listIn<T>(value);
    FUZZ_CHECK(list.size() == count);
    for (int k = 0; k < list.size(); ++k)
        FUZZ_CHECK(ValueCoding::toPattern(list.at(k))
                   == patternAt(data, bitRead, int(sizeof(T)) * 8, k));
}

void checkBits(const QVariant &value, const QByteArray &data, bool bitRead, int count)
{
    const QList<bool> list = listIn<bool>(value);
    FUZZ_CHECK(list.size() == count);
    for (int k = 0; k < list.size(); ++k)
        FUZZ_CHECK(list.at(k) == bitAt(data, bitRead, k));
}

// The read path's decoding of the data of a good answer, each type checked
// for the list it must give.
void checkDecoded(DataType type, int count, const RequestPlan::Read &plan, const QByteArray &taken)
{
    static LibNorvoTCP driver; // never connected: only its decoders and encoders run
    const QVariant value = driver.decodeAnswer(type, plan, taken, count, 0);
    const bool bitRead = plan.bitRead;
    switch (type) {
    case DT_Bool: checkBits(value, taken, bitRead, count); break;
    case DT_Int8: checkValues<char>(value, taken, bitRead, count); break;
    case DT_UInt8: checkValues<unsigned char>(value, taken, bitRead, count); break;
    case DT_Int16: checkValues<short>(value, taken, bitRead, count); break;
    case DT_UInt16: checkValues<unsigned short>(value, taken, bitRead, count); break;
    case DT_Int32: checkValues<int>(value, taken, bitRead, count); break;
    case DT_UInt32: checkValues<unsigned int>(value, taken, bitRead, count); break;
    case DT_Float: checkValues<float>(value, taken, bitRead, count); break;
    case DT_Int64: checkValues<qint64>(value, taken, bitRead, count); break;
    case DT_UInt64: checkValues<quint64>(value, taken, bitRead, count); break;
    case DT_Double: checkValues<double>(value, taken, bitRead, count); break;
    default: FUZZ_CHECK(!value.isValid()); return;
    }

    // The write path's encoding is the inverse on registers: the values
    // read go out as the digits they came in.
    if (bitRead || !ValueCoding::writable(type))
        return;
    CLabelVariable record;
    record.value = value;
    QByteArray nibbles;
    FUZZ_CHECK(driver.encodeRecord(type, record, count, &nibbles)
               == ValueCoding::EncodeResult::Encoded);
    FUZZ_CHECK(nibbles.size() == count * ValueCoding::valueBits(type) / 4);
    FUZZ_CHECK(nibbles == taken.left(nibbles.size()));
}

} // namespace

namespace NorvoFuzz {

void answers(const uint8_t *data, size_t size)
{
    FuzzBytes in(data, size);

    const int which = in.byte() % 4;
    const int station = in.inRange(-1, 256);
    const int area = in.flag() ? areas[in.byte() % std::size(areas)] : in.i32();
    const QString number = in.text(8);
    const quint8 how = in.byte();

    // A typed read plans its request as the read path does; the other
    // modes send a command with a raw count.
    const DataType type = DataType(in.inRange(DT_Bool, DT_Double));
    int count = in.count();
    RequestPlan::Read plan { false, 0 };
    const NorvoCommand *command = &NorvoCommand::RegisterWrite;
    QByteArray nibbles;
    switch (which) {
    case 0:
        plan = RequestPlan::read(type, count, area);
        if (count < 1 || plan.units > RequestPlan::maxUnits)
            return; // refused before anything is sent
        command = plan.bitRead ? &NorvoCommand::BitRead : &NorvoCommand::RegisterRead;
        break;
    case 1:
        command = &NorvoCommand::BitRead;
        break;
    case 2:
        command = &NorvoCommand::RegisterRead;
        break;
    default:
        // Keeps the frame small: four data digits go out per register.
        count = in.inRange(-3, 1100);
        nibbles = in.bytes(64);
        break;
    }
    const int unitCount = which == 0 ? int(plan.units) : count;
    const NorvoRequest request(*command, station, number, unitCount, area, nibbles);

    // The request itself is well formed whatever it was given.
    const QByteArray &frame = request.frame();
    FUZZ_CHECK(wellFramed(frame));
    const int bodyChars = command == &NorvoCommand::RegisterWrite ? 4 * qMax(unitCount, 0) : 0;
    FUZZ_CHECK(frame.size() == (command == &NorvoCommand::BitRead ? 15 : 16) + bodyChars);
    FUZZ_CHECK(frame.mid(3, 2) == QByteArray(command->code, 2));

    QByteArray answer = in.rest();
    repair(answer, frame, how);

    const QByteArray prefix("\x7f\x7f", 2);
    QByteArray out = prefix;
    const bool good = request.check(answer).isGood();
    if (good)
        request.appendData(answer, &out);
    const int rc = good ? 0 : -1;
    FUZZ_CHECK(rc == 0 || rc == -1);
    FUZZ_CHECK((rc == 0) == request.check(answer).isGood());
    if (rc != 0) {
        FUZZ_CHECK(out == prefix);
        return;
    }

    // Taken: a good answer to exactly this request.
    FUZZ_CHECK(unitCount >= 0 && unitCount <= 0xFF);
    FUZZ_CHECK(wellFramed(answer));
    FUZZ_CHECK(answer.mid(1, 4) == frame.mid(1, 4));
    FUZZ_CHECK(answer.at(5) == '0');
    const int expected = command == &NorvoCommand::BitRead ? unitCount
        : command == &NorvoCommand::RegisterRead ? 4 * unitCount : 0;
    FUZZ_CHECK(answer.size() == NorvoFrame::AnswerOverhead + expected);
    FUZZ_CHECK(out.size() == prefix.size() + expected);
    const QByteArray taken = out.mid(prefix.size());
    // Each data character taken as its value, written by the PLC as one
    // upper-case hex digit.
    for (int i = 0; i < taken.size(); ++i) {
        const quint8 digit = quint8(taken.at(i));
        FUZZ_CHECK(digit <= 0xF && SimFrame::hex(digit, 1) == answer.mid(6 + i, 1));
        if (command == &NorvoCommand::BitRead)
            FUZZ_CHECK(digit <= 1);
    }

    if (which == 0)
        checkDecoded(type, count, plan, taken);
}

} // namespace NorvoFuzz
