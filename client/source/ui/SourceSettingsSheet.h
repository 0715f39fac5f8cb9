// The "Source Settings" sheet of the "&Options" command: a "Primary" page
// bound to "Controller" and a "Backup" page bound to its "Backup"
// subsection. Each page offers "Socket", "Serial Port" and "ZPHDB", each
// with its own "Settings" button, and a "Timeouts" button. The page marks
// the stored "FeedSource" (a value outside 1..3 marks nothing and disables
// all four buttons); the marked kind enables its own "Settings" button, and
// "Timeouts" is enabled for any kind.
//
// The buttons open the kind dialogs of KindDialogs.h, which write their own
// sections on OK. The sheet itself writes nothing: its owner reads the
// chosen kinds after OK (SaveSourceChoice).
//
// Thread-safety: the window thread only.
#pragma once

#include "core/FeedLibrary.h"
#include "zphsource/SourceSettings.h"

#include <QDialog>
#include <QWidget>

#include <array>
#include <string>

class QAbstractButton;
class QButtonGroup;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace mavo {

class CMessageService;

// What the pages need to open their dialogs.
struct SourceSheetContext {
    CMessageService* messages = nullptr;
    std::string machine;        // the password's key
    DatabaseDefaults defaults;  // the controller's database defaults
};

class CSourceSettingsPage : public QWidget {
    Q_OBJECT
public:
    // connectionPath: the connection's section below HKEY_CURRENT_USER.
    CSourceSettingsPage(std::string connectionPath, SourceSheetContext context, QWidget* parent = nullptr);

    // The marked kind: 1 socket, 2 serial, 3 database; the stored value as
    // it was when none is marked.
    int Kind() const { return m_kind; }
    // Marks a kind (as a click would).
    void SetKind(int kind);
    const std::string& ConnectionPath() const { return m_path; }
    // A kind dialog of this page ended with OK (and wrote its section).
    bool DialogStored() const { return m_dialogStored; }

    // 0 socket, 1 serial, 2 database.
    QRadioButton* Choice(int index) const { return m_choices[static_cast<std::size_t>(index)]; }
    QPushButton* SettingsButton(int index) const { return m_settings[static_cast<std::size_t>(index)]; }
    QPushButton* TimeoutsButton() const { return m_timeouts; }

private:
    void UpdateButtons();
    void OpenSettings(int index);
    void OpenTimeouts();

    std::string m_path;
    SourceSheetContext m_context;
    int m_kind = 0;
    bool m_dialogStored = false;
    QButtonGroup* m_group = nullptr;
    std::array<QRadioButton*, 3> m_choices{};
    std::array<QPushButton*, 3> m_settings{};
    QPushButton* m_timeouts = nullptr;
};

class CSourceSettingsSheet : public QDialog {
    Q_OBJECT
public:
    // controllerPath: the "Controller" section below HKEY_CURRENT_USER.
    CSourceSettingsSheet(const std::string& controllerPath, const SourceSheetContext& context,
                         QWidget* parent = nullptr);

    // A kind dialog of either page wrote its section.
    bool DialogStored() const { return m_primary->DialogStored() || m_backup->DialogStored(); }
    CSourceSettingsPage* PrimaryPage() const { return m_primary; }
    CSourceSettingsPage* BackupPage() const { return m_backup; }
    QTabWidget* Tabs() const { return m_tabs; }

private:
    QTabWidget* m_tabs = nullptr;
    CSourceSettingsPage* m_primary = nullptr;
    CSourceSettingsPage* m_backup = nullptr;
};

} // namespace mavo
