// SPDX-License-Identifier: LGPL-2.1-or-later
// Arbitrary label texts, data types and counts: the area, the four-digit
// element number, the byte length and the request plan, then a read and a
// write on a driver with no link, which must refuse or fail without
// sending and report a defined status.
#include "FuzzBytes.h"
#include "FuzzTargets.h"

#include "LibNorvoTCP.h"
#include "labelstatus.h"
#include "requestplan.h"
#include "valuecoding.h"

namespace {

bool isAsciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

QString asciiDigitsOf(const QString &text)
{
    QString found;
    for (const QChar c : text) {
        if (isAsciiDigit(c))
            found.append(c);
    }
    return found;
}

bool isKnownArea(int area)
{
    switch (area) {
    case LibNorvoTCP::Area_None:
    case LibNorvoTCP::Area_RT:
    case LibNorvoTCP::Area_RC:
    case LibNorvoTCP::Area_R:
    case LibNorvoTCP::Area_D:
    case LibNorvoTCP::Area_WX:
    case LibNorvoTCP::Area_WY:
    case LibNorvoTCP::Area_WM:
    case LibNorvoTCP::Area_WS:
    case LibNorvoTCP::Area_WT:
    case LibNorvoTCP::Area_WC:
        return true;
    default:
        return false;
    }
}

// Bytes of count values of the type, or -1 for a type without a layout.
qint64 expectedBytes(DataType type, qint64 count)
{
    switch (ValueCoding::valueBits(type)) {
    case 1:
        return count / 8 + (count % 8 != 0 ? 1 : 0);
    case 8:
        return count / 2 * 2;
    case 16:
        return 2 * count;
    case 32:
        return 4 * count;
    case 64:
        return 8 * count;
    default:
        return 0;
    }
}

// A value record of the type's own list with count elements (or fewer).
CLabelVariable recordFor(DataType type, int elements)
{
    CLabelVariable record;
    elements = qBound(0, elements, 64);
    switch (ValueCoding::valueBits(type)) {
    case 8:
        record.value = QVariant::fromValue(QList<char>(QVector<char>(elements, 'x').toList()));
        break;
    case 16:
        record.value = QVariant::fromValue(QVector<short>(elements, 7).toList());
        break;
    case 32:
        record.value = QVariant::fromValue(QVector<int>(elements, 7).toList());
        break;
    case 64:
        record.value = QVariant::fromValue(QVector<qint64>(elements, 7).toList());
        break;
    default:
        record.value = QVariant::fromValue(QVector<bool>(elements, true).toList());
        break;
    }
    return record;
}

} // namespace

namespace NorvoFuzz {

void labels(const uint8_t *data, size_t size)
{
    static LibNorvoTCP driver; // never connected
    FuzzBytes in(data, size);

    const DataType type = DataType(in.flag() ? in.inRange(-2, 42) : in.i32());
    const int count = in.count();
    const int elements = in.inRange(0, 64);
    const QString label = in.text(int(qMax<size_t>(in.remaining(), 1)));

    // Area and number.
    const LibNorvoTCP::AreaType area = driver.getArea(label);
    FUZZ_CHECK(isKnownArea(area));
    const QString number = driver.getAddr(label, area);
    const QString digits = asciiDigitsOf(label);
    if (area == LibNorvoTCP::Area_None || digits.isEmpty() || digits.size() > 4) {
        FUZZ_CHECK(number.isNull());
    } else {
        FUZZ_CHECK(number.size() == 4);
        FUZZ_CHECK(asciiDigitsOf(number) == number);
        FUZZ_CHECK(number.endsWith(digits));
        FUZZ_CHECK(number.count(QLatin1Char('0')) >= 4 - digits.size());
    }
    FUZZ_CHECK(driver.extractedValue(label, QStringLiteral("ab")) == QStringLiteral("ab") + digits);

    // Byte length: exact where an int holds it, saturated beyond.
    const qint64 bytes = expectedBytes(type, count);
    const int bytelen = driver.getBytelen(type, count);
    if (bytes >= INT_MIN && bytes <= INT_MAX)
        FUZZ_CHECK(bytelen == bytes);
    else
        FUZZ_CHECK(bytelen == (bytes < 0 ? INT_MIN : INT_MAX));

    // The plan asks for enough units to hold count values and no more
    // than one request needs.
    const int bits = ValueCoding::valueBits(type);
    const RequestPlan::Read plan = RequestPlan::read(type, count, area);
    if (count >= 1 && bits > 0) {
        const qint64 wanted = qint64(bits) * count;
        if (plan.bitRead) {
            FUZZ_CHECK(plan.units == wanted);
        } else {
            FUZZ_CHECK(plan.units * 16 >= wanted);
            FUZZ_CHECK((plan.units - 1) * 16 < wanted);
        }
    }

    // A write asks for the whole registers that count values fill; flags
    // and the types without a layout are not written.
    const RequestPlan::Write writePlan = RequestPlan::write(type, count);
    if (bits < 8)
        FUZZ_CHECK(writePlan.units == 0);
    else if (bytes >= INT_MIN && bytes <= INT_MAX)
        FUZZ_CHECK(writePlan.units == bytes / 2);

    // Through the front end, with nothing to talk to: a refusal by the
    // checks or "not connected", never success, never any other status.
    const CLabelVariable read = driver.ReadVariable(label, type, count);
    FUZZ_CHECK(read.status == LabelStatus::TypeNotSupported
               || read.status == LabelStatus::AddressNotUsable
               || read.status == LabelStatus::CountNotUsable
               || read.status == LabelStatus::CountTooLarge
               || read.status == LabelStatus::NotConnected);
    FUZZ_CHECK(!read.value.isValid());
    FUZZ_CHECK(read.address == label && read.type == type && read.count == count);
    if (area == LibNorvoTCP::Area_None || number.isNull())
        FUZZ_CHECK(read.status == LabelStatus::AddressNotUsable);
    else if (count < 1)
        FUZZ_CHECK(read.status == LabelStatus::CountNotUsable);

    const CLabelVariable record = recordFor(type, in.flag() ? count : elements);
    const CLabelVariable written = driver.WriteVariable(label, type, record, count);
    FUZZ_CHECK(written.status == LabelStatus::TypeNotSupported
               || written.status == LabelStatus::AddressNotUsable
               || written.status == LabelStatus::CountNotUsable
               || written.status == LabelStatus::CountTooLarge
               || written.status == LabelStatus::NotConnected);
    FUZZ_CHECK(written.value == record.value);
    FUZZ_CHECK(written.timestamp == record.timestamp);
    FUZZ_CHECK(written.address == label && written.type == type && written.count == count);
}

} // namespace NorvoFuzz
