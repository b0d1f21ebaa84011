#pragma once

#include <QtGlobal>

namespace pw {

// Milliseconds since the system started, wrapping at 2^32 (about 49.7 days): a difference of
// two readings taken as unsigned 32-bit is the time between them, across the wrap too.
quint32 TickCount();

} // namespace pw
