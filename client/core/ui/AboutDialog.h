// CAboutDialog: "About MAVO": the version and build date in bold, the start
// time, the helpdesk's telephone and address, and links to the upgrade
// check and the licence agreement. The texts come from AboutInfo (the
// "Submit" section with its defaults). A link that cannot be opened shows
// "Unable to open hyperlink:" and the reason, with an exclamation icon.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/AboutInfo.h"
#include "core/ui/LinkOpener.h"
#include "core/ui/MessageService.h"

#include <QDialog>
#include <QLabel>

namespace mavo {

// A text drawn as a hyperlink: an underlined copy of the dialog's font and
// the link colour; a click opens its target.
class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    CLinkLabel(const QString& text, const QString& target, QWidget* parent = nullptr);
    const QString& Target() const { return m_target; }

signals:
    void Clicked(const QString& target);

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_target;
};

class CAboutDialog : public QDialog {
    Q_OBJECT
public:
    CAboutDialog(const AboutInfo& info, long startTime, CMessageService& messages, LinkOpener opener,
                 QWidget* parent = nullptr);

    // For tests: the labels by their role.
    QLabel* VersionLabel() const { return m_version; }
    QLabel* BuildDateLabel() const { return m_buildDate; }
    QLabel* StartedLabel() const { return m_started; }
    QLabel* ContactLabel() const { return m_contact; }
    QLabel* EmailPromptLabel() const { return m_emailPrompt; }
    CLinkLabel* EmailLink() const { return m_email; }
    CLinkLabel* UpgradeLink() const { return m_upgrade; }
    CLinkLabel* EulaLink() const { return m_eula; }

    // Opens a target as a click does (reports a failure).
    void OpenLink(const QString& target);

private:
    CMessageService& m_messages;
    LinkOpener m_opener;
    QLabel* m_version = nullptr;
    QLabel* m_buildDate = nullptr;
    QLabel* m_started = nullptr;
    QLabel* m_contact = nullptr;
    QLabel* m_emailPrompt = nullptr;
    CLinkLabel* m_email = nullptr;
    CLinkLabel* m_upgrade = nullptr;
    CLinkLabel* m_eula = nullptr;
};

} // namespace mavo
