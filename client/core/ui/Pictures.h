// The application's pictures, drawn rather than stored: the application
// icon, the splash picture, the toolbar buttons and the feed-state marks.
//
// Thread-safety: the window thread only (QPixmap).
#pragma once

#include "core/CommandTable.h"
#include "core/FeedLibrary.h"
#include "zph/FeedState.h"

#include <QIcon>
#include <QPixmap>

namespace mavo {

QIcon ApplicationIcon();
// The splash picture: name, version and maker on a deep blue field.
QPixmap SplashPicture();
// The toolbar picture of a command; a null icon when it has none.
QIcon CommandIcon(CommandId id);
// A round mark for the status bar: red dead, amber stale, green live; grey
// for any other state.
QPixmap FeedStateMark(FeedState state);
// The grey mark of a client not yet connected.
QPixmap NotConnectedMark();

} // namespace mavo
