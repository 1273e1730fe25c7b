#pragma once

#include <QString>
#include <QUrl>

namespace vellumo {

// The desktop shell: hands a web address to the desktop's default handler.
class ShellService {
public:
    virtual ~ShellService() = default;
    // Returns at once, without waiting for whatever opens the address; when
    // nothing can, that is not reported.
    virtual void openWebAddress(const QString &address) = 0;
};

// The address as a web URL, or an empty URL when it is not an absolute http or
// https address with a host. Anything else (a file, a program, a script) could
// make the desktop run something, so it is never handed on.
QUrl webAddressUrl(const QString &address);

class DesktopShell : public ShellService {
public:
    void openWebAddress(const QString &address) override;
};

} // namespace vellumo
