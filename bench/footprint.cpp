#include "footprint.h"

namespace {

struct Field
{
    const char *name;
    qint64 FootprintSample::*member;
};

const Field fields[] = {
    {"hostKiB", &FootprintSample::hostKiB},
    {"loadedKiB", &FootprintSample::loadedKiB},
    {"createdKiB", &FootprintSample::createdKiB},
    {"connectedKiB", &FootprintSample::connectedKiB},
    {"fdsCreated", &FootprintSample::fdsCreated},
    {"fdsConnected", &FootprintSample::fdsConnected},
    {"failedReads", &FootprintSample::failedReads},
};

} // namespace

QByteArray FootprintSample::toText() const
{
    QByteArray text;
    for (const Field &field : fields)
        text += QByteArray(field.name) + ' ' + QByteArray::number(this->*field.member) + '\n';
    return text;
}

FootprintSample FootprintSample::parse(const QByteArray &text)
{
    FootprintSample sample;
    for (const QByteArray &line : text.split('\n')) {
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.size() != 2)
            continue;
        bool ok = false;
        const qint64 value = words.at(1).toLongLong(&ok, 10);
        for (const Field &field : fields) {
            if (ok && words.at(0) == field.name)
                sample.*field.member = value;
        }
    }
    return sample;
}
