#include "core/ui/LinkOpener.h"

#include "core/AboutInfo.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace mavo {

int OpenLinkTarget(const QString& target)
{
    const QUrl url(target, QUrl::StrictMode);
    if (url.isValid() && QDesktopServices::openUrl(url))
        return 0;
    const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
    if (opener.isEmpty())
        return kShellNoAssociation;
    if (!QFileInfo(opener).isExecutable())
        return kShellAccessDenied;
    // "--" is not understood by xdg-open; a target that starts with '-' is
    // not an address we would pass, so refuse it rather than risk an option.
    if (target.startsWith(QLatin1Char('-')))
        return kShellFileNotFound;
    if (!QProcess::startDetached(opener, {target}))
        return kShellAccessDenied;
    return 0;
}

} // namespace mavo
