// How page windows ask and tell the user, behind one replaceable function,
// so that the main window's message service (or a test) answers instead of
// a person. The default shows a modal QMessageBox.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/FrameTexts.h"

#include <QString>

#include <functional>

class QWidget;

namespace mavo {

enum class PageMessageKind { Information, Question, Stop };

// True for Yes (a question) or OK.
using PageAsker = std::function<bool(QWidget* parent, const QString& caption, const QString& text, PageMessageKind kind)>;

PageAsker DefaultPageAsker();

// The texts page windows show.
inline constexpr const char* kClosePageCaption = "Close Page";
inline constexpr const char* kRemoveOrdersText = "Please remove your orders\nbefore closing this page";
inline constexpr const char* kCloseQuestionFormat = "Are you sure you want to close %1?";
// kNoPermissionCaption and kNoPermissionText are the main window's
// (FrameTexts.h): one text wherever the refusal is shown.

} // namespace mavo
