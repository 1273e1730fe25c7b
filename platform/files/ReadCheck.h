#pragma once

#include "platform/Progress.h"

#include <QByteArrayView>
#include <QtGlobal>
#include <sys/stat.h>

namespace vellumo {

// A file that another program rewrites while it is read can read as a mix of old, new and zero
// bytes, and nothing tells. Checks that the file behind fd, whose stamps were `before` when the
// read began, still holds bytes from position on. Returns 0 when it
// does, -1 when it changed, or the errno of a failed read. A full comparison, made only when the
// stamps moved, reports its progress to steps.
int checkReadBack(int fd, qint64 position, QByteArrayView bytes, const struct stat &before,
                  const Steps &steps);

} // namespace vellumo
