// SPDX-License-Identifier: LGPL-2.1-or-later
#include "ArgumentChecks.h"
#include "Limits.h"
#include "ValueText.h"

namespace {

const int maxCount = Limits::maxWriteCount;
const int bitsPerWord = 16;

using namespace ArgumentChecks;

// LABEL:TYPE or LABEL:TYPE:COUNT.
QString readJoinedItem(const QString &text, ReadItem *item)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() < 2 || parts.size() > 3) {
        return QStringLiteral("%1 is not an item: give LABEL:TYPE or LABEL:TYPE:COUNT, "
                              "for example D100:int16:2")
            .arg(quoted(text));
    }
    QString error = checkLabel(parts.at(0));
    if (error.isEmpty())
        error = checkType(parts.at(1), &item->type);
    if (error.isEmpty() && parts.size() == 3) {
        item->countGiven = true;
        error = checkCount(parts.at(2), &item->count);
    }
    item->label = parts.at(0);
    return error;
}

} // namespace

namespace ArgumentChecks {

QString wholeWordsOnly(const QString &label, const QVariant &values)
{
    const QList<bool> bits = values.value<QList<bool>>();
    quint32 word = 0;
    QStringList texts;
    for (int i = 0; i < bits.size() && i < bitsPerWord; ++i) {
        word |= quint32(bits.at(i)) << i;
        texts << (bits.at(i) ? QStringLiteral("1") : QStringLiteral("0"));
    }
    return QStringLiteral(
               "the PLC writes whole 16-bit words, not single bits: \"write %1 uint16 0x%2\" "
               "sets the 16 bits from %1 on to these values and clears the others; "
               "\"write --merge %1 bool %3\" changes only the named bits")
        .arg(label, QStringLiteral("%1").arg(word, 4, 16, QLatin1Char('0')).toUpper(),
             texts.join(QLatin1Char(' ')));
}

QString readItems(const QStringList &arguments, Invocation *invocation)
{
    const QString name = commandName(invocation->command);
    if (arguments.isEmpty())
        return QStringLiteral("%1 needs LABEL TYPE [COUNT] or items LABEL:TYPE[:COUNT]...").arg(name);

    if (arguments.at(0).contains(QLatin1Char(':'))) {
        for (const QString &text : arguments) {
            ReadItem item;
            const QString error = readJoinedItem(text, &item);
            if (!error.isEmpty())
                return error;
            invocation->items << item;
        }
        return QString();
    }

    if (arguments.size() < 2)
        return QStringLiteral("%1 needs LABEL TYPE [COUNT] or items LABEL:TYPE[:COUNT]...").arg(name);
    ReadItem item;
    QString error = checkLabel(arguments.at(0));
    if (error.isEmpty())
        error = checkType(arguments.at(1), &item.type);
    if (!error.isEmpty())
        return error;
    item.label = arguments.at(0);
    if (arguments.size() > 3)
        return QStringLiteral("unexpected argument %1").arg(quoted(arguments.at(3)));
    if (arguments.size() == 3) {
        item.countGiven = true;
        error = checkCount(arguments.at(2), &item.count);
    }
    invocation->items << item;
    return error;
}

QString readWrite(const QStringList &arguments, Invocation *invocation)
{
    if (arguments.size() < 3) {
        return invocation->merge ? QStringLiteral("write --merge needs LABEL bool VALUE...")
                                 : QStringLiteral("write needs LABEL TYPE VALUE...");
    }
    QString error = checkLabel(arguments.at(0));
    if (error.isEmpty())
        error = checkType(arguments.at(1), &invocation->type);
    if (!error.isEmpty())
        return error;
    invocation->label = arguments.at(0);

    const QStringList values = arguments.mid(2);
    if (values.size() > maxCount)
        return QStringLiteral("at most %1 values can be written at once").arg(maxCount);
    invocation->count = values.size();
    invocation->countGiven = values.size() > 1;
    error = ValueText::parseValues(invocation->type, values, &invocation->values);
    if (!error.isEmpty())
        return error;

    if (invocation->merge) {
        if (invocation->type != DT_Bool)
            return QStringLiteral("--merge changes bits: give LABEL bool VALUE...");
        if (values.size() > bitsPerWord)
            return QStringLiteral("--merge changes the bits of one 16-bit word: at most 16 values");
        return QString();
    }
    if (invocation->type == DT_Bool)
        return wholeWordsOnly(invocation->label, invocation->values);
    return QString();
}

} // namespace ArgumentChecks
