// Opening a link target: first the desktop's handler (QDesktopServices),
// then `xdg-open` started directly with the target as its one argument
// (never through a shell, so nothing in the target is interpreted). The
// result is 0 when either opened it, else a shell-open error code for
// ShellErrorText (AboutInfo.h).
//
// Thread-safety: the window thread only.
#pragma once

#include <QString>

#include <functional>

namespace mavo {

// What the About box calls; replaceable in tests.
using LinkOpener = std::function<int(const QString& target)>;

int OpenLinkTarget(const QString& target);

} // namespace mavo
