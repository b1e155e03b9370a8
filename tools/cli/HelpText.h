// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVO_CLI_HELPTEXT_H
#define NORVO_CLI_HELPTEXT_H

#include "Invocation.h"

#include <QtCore/QString>

// The text of --help: the general one for NoCommand, else the command's.
QString helpText(Invocation::Command command);

#endif
