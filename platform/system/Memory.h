#pragma once

#include <QtGlobal>

namespace vellumo {

// How many more bytes this process can still get: the system's available memory, or less where
// the process's address space is limited. -1 when the system does not say.
qint64 memoryAvailable();

} // namespace vellumo
