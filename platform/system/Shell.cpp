#include "platform/system/Shell.h"

#include <QDesktopServices>

namespace vellumo {

QUrl webAddressUrl(const QString &address)
{
    const QUrl url(address, QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("https") && scheme != QLatin1String("http")))
        return QUrl();
    return url;
}

void openWebAddress(const QString &address)
{
    const QUrl url = webAddressUrl(address);
    if (!url.isEmpty())
        QDesktopServices::openUrl(url); // fire and forget: no handler is not an error
}

} // namespace vellumo
