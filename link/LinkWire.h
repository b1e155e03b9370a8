// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef LINKWIRE_H
#define LINKWIRE_H

#include <QtCore/QLoggingCategory>

// The bytes on the wire, as they go out and come in: one line per write
// ("sent 0230...") and one per piece read from the device ("arrived 30..."),
// logged at that very moment, so a host that records them (norvo --pcap)
// takes their times from the log. Off unless enabled by logging rules
// ("norvo.wire.debug=true"); then pieces of a frame keep their own lines.
Q_DECLARE_LOGGING_CATEGORY(lcNorvoWire)

namespace LinkWire {

bool isOn();

void sent(const char *bytes, int size);
void arrived(const char *bytes, int size);

} // namespace LinkWire

#endif // LINKWIRE_H
