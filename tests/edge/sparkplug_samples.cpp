// SPDX-License-Identifier: LGPL-2.1-or-later
// Writes the payloads tst_sparkplug.py decodes from the schema's side:
// nbirth, ndeath, dbirth, ddata and ddeath in the folder given.

#include "Sparkplug.h"

#include <QtCore/QDir>
#include <QtCore/QFile>

#include <cstdio>

namespace {

template<typename T>
QVariant list(std::initializer_list<T> values)
{
    return QVariant::fromValue(QList<T>(values));
}

Sparkplug::TagState state(const char *name, ValueTypes::Type type, int count, quint64 alias, const QVariant &value)
{
    Sparkplug::TagState state;
    state.tag.name = QString::fromLatin1(name);
    state.tag.type = type;
    state.tag.count = count;
    state.alias = alias;
    state.reading.value = value;
    state.reading.timeMs = 1700000000000 + qint64(alias);
    return state;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: sparkplug_samples FOLDER\n");
        return 2;
    }
    using T = ValueTypes::Type;
    QList<Sparkplug::TagState> tags{
        state("int8", T::Int8, 1, 1, list<char>({char(-1)})),
        state("uint32", T::UInt32, 1, 2, list<quint32>({4294967295u})),
        state("int64", T::Int64, 1, 3, list<qint64>({-2})),
        state("double", T::Double, 1, 4, list<double>({0.25})),
        state("int16s", T::Int16, 2, 5, list<short>({-30000, 30000})),
        state("floats", T::Float, 2, 6, list<float>({1.5f, -2.0f})),
        state("bits", T::Bool, 12,
              7, list<bool>({false, false, true, true, false, true, false, false, true, true, false, true})),
        state("failed", T::UInt16, 1, 8, QVariant()),
    };
    tags.last().reading.status = 5;
    tags.last().reading.reason = QStringLiteral("no answer");

    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const struct
    {
        const char *file;
        QByteArray bytes;
    } files[] = {
        {"nbirth", Sparkplug::nodeBirth(1700000000000, 3)},
        {"ndeath", Sparkplug::nodeDeath(1700000000000, 3)},
        {"dbirth", Sparkplug::deviceBirth(1700000000100, 1, tags)},
        {"ddata", Sparkplug::deviceData(1700000000200, 2, {tags.at(0), tags.at(6)})},
        {"ddeath", Sparkplug::deviceDeath(1700000000300, 3)},
    };
    for (const auto &entry : files) {
        QFile file(dir.filePath(QLatin1String(entry.file)));
        if (!file.open(QIODevice::WriteOnly) || file.write(entry.bytes) != entry.bytes.size()) {
            std::fprintf(stderr, "sparkplug_samples: %s: %s\n", entry.file, qPrintable(file.errorString()));
            return 1;
        }
    }
    return 0;
}
