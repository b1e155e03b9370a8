// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_FUZZBYTES_H
#define NORVO_FUZZBYTES_H

#include <QtCore/QByteArray>
#include <QtCore/QString>

#include <cstddef>
#include <cstdint>

// Takes a fuzz input apart into the values one run needs. Every read past
// the end gives 0 (or an empty text), so any input, even an empty one, is a
// complete run. Small fields come from the front, bulk data from the rest.
class FuzzBytes
{
public:
    FuzzBytes(const uint8_t *data, size_t size) : data_(data), size_(size) {}

    bool atEnd() const { return pos_ >= size_; }
    size_t remaining() const { return atEnd() ? 0 : size_ - pos_; }

    quint8 byte() { return atEnd() ? 0 : data_[pos_++]; }
    bool flag() { return byte() & 1; }
    quint16 u16() { return quint16(byte() | byte() << 8); }
    quint32 u32() { return quint32(u16()) | quint32(u16()) << 16; }
    quint64 u64() { return quint64(u32()) | quint64(u32()) << 32; }
    qint32 i32() { return qint32(u32()); }

    // A value in [low, high]; both ends included.
    int inRange(int low, int high)
    {
        const quint64 span = quint64(qint64(high) - low) + 1;
        return int(low + qint64(u32() % span));
    }

    // Mostly small numbers (where the edges of counts and positions lie),
    // sometimes any int at all.
    int count()
    {
        switch (byte() % 4) {
        case 0:
            return i32();
        case 1:
            return inRange(-3, 300);
        default:
            return inRange(-1, 24);
        }
    }

    // Up to maxBytes bytes, the length taken from the input.
    QByteArray bytes(int maxBytes)
    {
        const int wanted = inRange(0, maxBytes);
        const int length = int(qMin<size_t>(size_t(wanted), remaining()));
        const QByteArray taken(reinterpret_cast<const char *>(data_ + pos_), length);
        pos_ += size_t(length);
        return taken;
    }

    QByteArray rest()
    {
        const QByteArray taken(reinterpret_cast<const char *>(data_ + pos_), int(remaining()));
        pos_ = size_;
        return taken;
    }

    // A text as a host might hand it over: Latin-1 bytes, UTF-8 (possibly
    // broken) or raw UTF-16 code units (possibly unpaired surrogates).
    QString text(int maxBytes)
    {
        const int kind = byte() % 3;
        const QByteArray raw = bytes(maxBytes);
        switch (kind) {
        case 0:
            return QString::fromLatin1(raw);
        case 1:
            return QString::fromUtf8(raw);
        default:
            return QString::fromUtf16(reinterpret_cast<const char16_t *>(raw.constData()),
                                      raw.size() / 2);
        }
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t pos_ = 0;
};

#endif
