// SPDX-License-Identifier: LGPL-2.1-or-later
// The record layout and 8-bit results that a host compiled for this target
// relies on. Built against the shared library, so every record operation
// called here is the library's exported code, compiled separately from
// this file's view of the layout.

#include "CLabelVariable.h"

#include <QtTest/QtTest>

#include <cstddef>
#include <cstring>
#include <new>

namespace {

struct Layout
{
    size_t size, align;
    size_t status, accessError, value, timestamp, address, count, type, auxValue, auxText;
};

// What the host's compiler lays out, per target. QVariant is 8-byte aligned
// everywhere (it may hold a double inline); QString and QDateTime are one
// pointer wide.
#if defined(__x86_64__) || defined(__aarch64__)
#define NORVO_TARGET "64-bit (x86-64, AArch64)"
constexpr Layout hostLayout{64, 8, 0, 4, 8, 24, 32, 40, 44, 48, 56};
#elif defined(__arm__) && defined(__ARM_EABI__)
#define NORVO_TARGET "32-bit ARM EABI"
constexpr Layout hostLayout{48, 8, 0, 4, 8, 24, 28, 32, 36, 40, 44};
#endif

// Storage for one record whose bytes start as a pattern no constructor
// writes, so a field the library's code misses or misplaces shows up.
struct Patterned
{
    alignas(CLabelVariable) unsigned char bytes[sizeof(CLabelVariable)];
    Patterned() { std::memset(bytes, 0xA5, sizeof bytes); }
};

} // namespace

class AbiLayout : public QObject
{
    Q_OBJECT
private slots:
    void recordLayoutIsTheHosts();
    void libraryCodeUsesTheSameLayout();
    void eightBitAccessorsReturn0To255();
};

void AbiLayout::recordLayoutIsTheHosts()
{
#ifndef NORVO_TARGET
    QFAIL("no host layout of CLabelVariable is recorded for this architecture");
#else
    qInfo("target: %s", NORVO_TARGET);
    QCOMPARE(sizeof(DataType), size_t(4));
    QCOMPARE(sizeof(CLabelVariable), hostLayout.size);
    QCOMPARE(alignof(CLabelVariable), hostLayout.align);
    QCOMPARE(offsetof(CLabelVariable, status), hostLayout.status);
    QCOMPARE(offsetof(CLabelVariable, accessError), hostLayout.accessError);
    QCOMPARE(offsetof(CLabelVariable, value), hostLayout.value);
    QCOMPARE(offsetof(CLabelVariable, timestamp), hostLayout.timestamp);
    QCOMPARE(offsetof(CLabelVariable, address), hostLayout.address);
    QCOMPARE(offsetof(CLabelVariable, count), hostLayout.count);
    QCOMPARE(offsetof(CLabelVariable, type), hostLayout.type);
    QCOMPARE(offsetof(CLabelVariable, auxValue), hostLayout.auxValue);
    QCOMPARE(offsetof(CLabelVariable, auxText), hostLayout.auxText);
#endif
}

void AbiLayout::libraryCodeUsesTheSameLayout()
{
    Patterned fresh;
    auto *made = new (fresh.bytes) CLabelVariable;
    QCOMPARE(made->status, 1);
    QCOMPARE(made->accessError, 1);
    QVERIFY(!made->value.isValid());
    QVERIFY(made->timestamp.isNull());
    QVERIFY(made->address.isEmpty());
    QCOMPARE(made->count, 0);
    QCOMPARE(made->type, DT_None);
    QCOMPARE(made->auxValue, 0);
    QVERIFY(made->auxText.isEmpty());

    // Every field written here by this file's code must arrive through the
    // library's copy constructor at the same place.
    made->status = -7;
    made->accessError = 10;
    made->value = QVariant::fromValue(QList<double>{2.5, -1.0});
    made->timestamp = QDateTime(QDate(2023, 12, 18), QTime(11, 13, 59));
    made->address = QStringLiteral("D100");
    made->count = 2;
    made->type = DT_Double;
    made->auxValue = 0x12345678;
    made->auxText = QStringLiteral("aux");

    Patterned copySpace;
    auto *copy = new (copySpace.bytes) CLabelVariable(*made);
    QCOMPARE(copy->status, -7);
    QCOMPARE(copy->accessError, 10);
    QCOMPARE(copy->value.value<QList<double>>(), (QList<double>{2.5, -1.0}));
    QCOMPARE(copy->timestamp, QDateTime(QDate(2023, 12, 18), QTime(11, 13, 59)));
    QCOMPARE(copy->address, QStringLiteral("D100"));
    QCOMPARE(copy->count, 2);
    QCOMPARE(copy->type, DT_Double);
    QCOMPARE(copy->auxValue, 0x12345678);
    QCOMPARE(copy->auxText, QStringLiteral("aux"));

    copy->~CLabelVariable();
    made->~CLabelVariable();
}

// The PLC's bytes are handed out as 0..255 on every target; a host reading
// them into an int must never see a negative value.
void AbiLayout::eightBitAccessorsReturn0To255()
{
    CLabelVariable chars;
    chars.value = QVariant::fromValue(QList<char>{char(0xF0), char(0x7F), char(0x80), char(0xFF)});
    const int expected[] = {240, 127, 128, 255};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(int(chars.atchar(i)), expected[i]);
        QCOMPARE(int(chars.atInt8(i)), expected[i]);
        QCOMPARE(chars.accessError, 0);
    }

    CLabelVariable bytes;
    bytes.value = QVariant::fromValue(QList<unsigned char>{0x00, 0x80, 0xFF});
    QCOMPARE(int(bytes.atUInt8(0)), 0);
    QCOMPARE(int(bytes.atUInt8(1)), 128);
    QCOMPARE(int(bytes.atUInt8(2)), 255);
    QCOMPARE(bytes.accessError, 0);
}

QTEST_GUILESS_MAIN(AbiLayout)
#include "tst_abilayout.moc"
