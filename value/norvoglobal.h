// SPDX-License-Identifier: LGPL-2.1-or-later
#ifndef NORVOGLOBAL_H
#define NORVOGLOBAL_H

// The library is built with hidden visibility; only what the host uses
// carries this mark.
#define NORVO_EXPORT __attribute__((visibility("default")))

#endif // NORVOGLOBAL_H
