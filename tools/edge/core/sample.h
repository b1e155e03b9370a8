// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_EDGE_SAMPLE_H
#define NORVO_EDGE_SAMPLE_H

#include <QtCore/QJsonValue>
#include <QtCore/QString>

// One read of a tag: a good read's value, or a failed read's status and why.
struct Sample
{
    int status = 0;    // the record's status; 0 for a good read
    QJsonValue value;  // SamplePayload::jsonValue's; null for a failed read
    QString reason;    // why a read failed

    bool failed() const { return status != 0; }
};

#endif
