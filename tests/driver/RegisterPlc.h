#ifndef NORVO_TESTS_REGISTERPLC_H
#define NORVO_TESTS_REGISTERPLC_H

#include "PlcFrame.h"
#include "PlcPeer.h"

#include <QtCore/QMap>

#include <memory>
#include <mutex>

// A PLC with register memory, written from the PLC's side on top of
// PlcFrame: "46" reads registers, "47" writes them, "44" reads bits. The
// discrete areas are bit-addressed for bit reads and word-addressed for
// register commands: bit n of area X is bit n % 16 of word WX n / 16.
// Memory starts at 0 and is shared between the peer's thread and the test.
class RegisterPlc
{
public:
    using Key = QPair<QByteArray, int>; // area characters, element number

    void set(const QByteArray &area, int number, quint16 value)
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        state_->registers[{area, number}] = value;
    }

    quint16 get(const QByteArray &area, int number) const
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        return state_->registers.value({area, number});
    }

    void setBit(char area, int bit, bool on)
    {
        std::lock_guard<std::mutex> lock(state_->mutex);
        quint16 &word = state_->registers[{QByteArray("W") + area, bit / 16}];
        word = on ? quint16(word | (1u << (bit % 16))) : quint16(word & ~(1u << (bit % 16)));
    }

    // Answers every well-formed request; stays silent on anything else.
    PlcPeer::Responder responder() const
    {
        const std::shared_ptr<State> state = state_;
        return [state](const QByteArray &frame) -> QByteArray {
            const PlcFrame::Request r = PlcFrame::parseRequest(frame);
            if (!r.valid)
                return QByteArray();
            const int start = r.address.toInt();
            std::lock_guard<std::mutex> lock(state->mutex);
            if (r.command == "44") {
                QByteArray bits;
                const QByteArray words = QByteArray("W") + r.area;
                for (int n = start; n < start + r.count; ++n) {
                    const quint16 word = state->registers.value({words, n / 16});
                    bits.append((word >> (n % 16)) & 1 ? '1' : '0');
                }
                return PlcFrame::answerTo(r, bits);
            }
            if (r.command == "46") {
                QList<quint16> values;
                for (int n = start; n < start + r.count; ++n)
                    values.append(state->registers.value({r.area, n}));
                return PlcFrame::answerTo(r, PlcFrame::registerChars(values));
            }
            for (int i = 0; i < r.count; ++i)
                state->registers[{r.area, start + i}] = r.data.mid(4 * i, 4).toUShort(nullptr, 16);
            return PlcFrame::answerTo(r);
        };
    }

private:
    struct State
    {
        std::mutex mutex;
        QMap<Key, quint16> registers;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
};

#endif
