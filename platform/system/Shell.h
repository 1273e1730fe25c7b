#pragma once

#include <QString>
#include <QUrl>

namespace vellumo {

// The address as a web URL, or an empty URL when it is not an absolute http or
// https address with a host. Anything else (a file, a program, a script) could
// make the desktop run something, so it is never handed on.
QUrl webAddressUrl(const QString &address);

// Hands a web address to the desktop's default handler and returns at once,
// without waiting for whatever opens it; when nothing can, that is not reported.
void openWebAddress(const QString &address);

} // namespace vellumo
