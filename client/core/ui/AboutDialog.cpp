#include "core/ui/AboutDialog.h"

#include "core/AppIdentity.h"
#include "core/ui/Pictures.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace mavo {

namespace {

// A bold (weight 700) variable-pitch sans-serif font whose height is that
// of the text field it is made for.
QFont BoldFieldFont(const QFont& base, int height)
{
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif, QFont::PreferDefault);
    font.setFixedPitch(false);
    font.setWeight(QFont::Bold);
    font.setPixelSize(height > 0 ? height : QFontMetrics(base).height());
    return font;
}

QLabel* Text(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    return label;
}

} // namespace

CLinkLabel::CLinkLabel(const QString& text, const QString& target, QWidget* parent)
    : QLabel(text, parent), m_target(target)
{
    setTextFormat(Qt::PlainText);
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, colours.color(QPalette::Link));
    setPalette(colours);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::TabFocus);
    setToolTip(target);
}

void CLinkLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Clicked(m_target);
    QLabel::mouseReleaseEvent(event);
}

void CLinkLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        emit Clicked(m_target);
    else
        QLabel::keyPressEvent(event);
}

CAboutDialog::CAboutDialog(const AboutInfo& info, long startTime, CMessageService& messages, LinkOpener opener,
                           QWidget* parent)
    : QDialog(parent), m_messages(messages), m_opener(std::move(opener))
{
    setWindowTitle(QStringLiteral("About MAVO"));
    setWindowIcon(ApplicationIcon());

    m_version = Text(QString::fromStdString(AboutInfo::VersionLine(kAppVersion)), this);
    m_buildDate = Text(QString::fromStdString(AboutInfo::BuildDateLine(kAppBuildDate)), this);
    m_started = Text(QString::fromStdString(AboutInfo::StartedLine(startTime)), this);
    m_contact = Text(QString::fromStdString(info.ContactLine()), this);
    m_emailPrompt = Text(QString::fromLatin1(kEmailPrompt), this);
    m_email = new CLinkLabel(QString::fromStdString(info.helpdeskEmail), QString::fromStdString(info.EmailTarget()),
                             this);
    m_upgrade = new CLinkLabel(QString::fromLatin1(kUpgradeLinkText),
                               QString::fromStdString(info.UpgradeTarget(kAppVersion)), this);
    m_eula = new CLinkLabel(QString::fromLatin1(kEulaLinkText), QString::fromStdString(info.EulaTarget(kAppVersion)),
                            this);

    // The version and the build date each get their own bold font of their
    // field's height; the start time, the helpdesk line and the e-mail
    // prompt share a third.
    const int fieldHeight = QFontMetrics(font()).height() + 4;
    m_version->setFont(BoldFieldFont(font(), fieldHeight));
    m_buildDate->setFont(BoldFieldFont(font(), fieldHeight));
    const QFont shared = BoldFieldFont(font(), QFontMetrics(font()).height());
    for (QLabel* label : {m_started, m_contact, m_emailPrompt})
        label->setFont(shared);
    for (QLabel* label : {m_version, m_buildDate})
        label->setFixedHeight(fieldHeight + 2);

    for (CLinkLabel* link : {m_email, m_upgrade, m_eula})
        connect(link, &CLinkLabel::Clicked, this, &CAboutDialog::OpenLink);

    auto* icon = new QLabel(this);
    icon->setPixmap(ApplicationIcon().pixmap(48, 48));
    icon->setAlignment(Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_version);
    texts->addWidget(m_buildDate);
    texts->addSpacing(6);
    texts->addWidget(m_started);
    texts->addSpacing(10);
    texts->addWidget(m_contact);
    auto* email = new QHBoxLayout;
    email->addWidget(m_emailPrompt);
    email->addWidget(m_email);
    email->addStretch();
    texts->addLayout(email);
    texts->addSpacing(10);
    texts->addWidget(m_upgrade);
    texts->addWidget(m_eula);

    auto* top = new QHBoxLayout;
    top->addWidget(icon);
    top->addSpacing(12);
    top->addLayout(texts, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    // Enter presses OK: it has the focus when the dialog opens, not the
    // first link (a link follows Enter only once the user tabs to it).
    if (QPushButton* ok = buttons->button(QDialogButtonBox::Ok)) {
        ok->setDefault(true);
        ok->setFocus();
    }

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(buttons);
}

void CAboutDialog::OpenLink(const QString& target)
{
    const int code = m_opener ? m_opener(target) : OpenLinkTarget(target);
    if (code == 0)
        return;
    m_messages.Show(this, QString::fromLatin1(kAppName),
                    QString::fromLatin1(kLinkErrorPrefix) + QString::fromStdString(ShellErrorText(code)),
                    CMessageService::Icon::Warning, CMessageService::Buttons::Ok);
}

} // namespace mavo
