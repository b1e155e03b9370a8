// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_PLUGINHOST_RECORDSYMBOLS_H
#define NORVO_PLUGINHOST_RECORDSYMBOLS_H

#include <QtCore/QString>

// norvo links no copy of the library. The label record's constructor, copy
// constructor and destructor, which the compiler calls wherever a record is
// made, passed or dropped, run in the plug-in that was loaded: this binds
// them to its exported symbols. Returns an empty text on success, else which
// symbol the plug-in lacks.
QString bindRecordSymbols(void *pluginHandle);

#endif
