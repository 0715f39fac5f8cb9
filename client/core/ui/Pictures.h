// The application's pictures, drawn rather than stored: the application
// icon, the splash picture, the toolbar buttons and the feed-state marks.
//
// Thread-safety: the window thread only (QPixmap, QIcon), except
// DrawStartupPictures, PrepareImageReading and the image functions, which
// any thread may call.
#pragma once

#include "core/CommandTable.h"
#include "core/FeedLibrary.h"
#include "zph/FeedState.h"

#include <QIcon>
#include <QImage>
#include <QPixmap>

#include <vector>

namespace mavo {

QIcon ApplicationIcon();
// The application icon's sizes as images, and the icon made of them.
std::vector<QImage> ApplicationIconImages();
QIcon ApplicationIcon(const std::vector<QImage>& images);
// The splash picture: name, version and maker on a deep blue field.
QImage SplashImage();

// What start-up shows first, drawn off the window thread while start-up
// reads its settings: the first text drawn loads the fonts, which takes
// longer than anything else before the window.
struct StartupPictures {
    std::vector<QImage> applicationIcon;
    QImage splash;  // null unless asked for
};
StartupPictures DrawStartupPictures(bool splash);
// Loads the image format plugins, as the first picture read from a file
// does: the menu bar's first style picture would load them otherwise.
void PrepareImageReading();
// The toolbar picture of a command; a null icon when it has none.
QIcon CommandIcon(CommandId id);
// A round mark for the status bar: red dead, amber stale, green live; grey
// for any other state.
QPixmap FeedStateMark(FeedState state);
// The grey mark of a client not yet connected.
QPixmap NotConnectedMark();

} // namespace mavo
