#ifndef SIMPAGE_H
#define SIMPAGE_H

#include <QtCore/QByteArray>

// The web console: one page of plain HTML, CSS and JavaScript that works
// the REST API (SimApi). Built into the program; nothing is downloaded.
QByteArray simConsolePage();

#endif
