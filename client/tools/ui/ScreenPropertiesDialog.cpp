#include "tools/ui/ScreenPropertiesDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace mavo {

namespace {

// A small screen with the part a layout covers filled: 0 full, 1 the left
// half, 2 the right half.
QIcon LayoutPicture(int which)
{
    QPixmap picture(48, 36);
    picture.fill(Qt::transparent);
    QPainter p(&picture);
    const QRect screen(2, 2, 43, 31);
    p.fillRect(screen, QColor(0xE0, 0xE0, 0xE0));
    QRect covered = screen;
    if (which == 1)
        covered.setRight(screen.center().x());
    else if (which == 2)
        covered.setLeft(screen.center().x() + 1);
    p.fillRect(covered, QColor(0x1F, 0x4E, 0x9C));
    p.setPen(QPen(Qt::black, 1));
    p.drawRect(screen);
    if (which != 0)
        p.drawLine(screen.center().x(), screen.top(), screen.center().x(), screen.bottom());
    return QIcon(picture);
}

QPushButton* LayoutButton(const char* text, int which, QWidget* parent)
{
    auto* button = new QPushButton(LayoutPicture(which), QString::fromLatin1(text), parent);
    button->setIconSize(QSize(48, 36));
    button->setAutoDefault(false);
    return button;
}

} // namespace

CScreenPropertiesDialog::CScreenPropertiesDialog(const FullScreenArea& area, QSize screen, QWidget* parent)
    : QDialog(parent), m_layout(area, screen.width(), screen.height())
{
    setObjectName(QStringLiteral("ScreenPropertiesDialog"));
    setWindowTitle(QStringLiteral("Screen Properties"));
    setModal(true);

    m_default = new QCheckBox(QStringLiteral("Use default screen layout"), this);
    m_default->setObjectName(QStringLiteral("UseDefault"));
    auto* rectBox = new QGroupBox(QStringLiteral("Full Screen Rectangle"), this);
    auto* grid = new QGridLayout(rectBox);
    static constexpr std::array<const char*, 4> kLabels{"X:", "Y:", "CX:", "CY:"};
    for (int i = 0; i < 4; ++i) {
        auto* field = new QSpinBox(rectBox);
        field->setObjectName(QString::fromLatin1(kLabels[static_cast<std::size_t>(i)]).chopped(1));
        field->setRange(-1, 100000);
        field->setMinimumWidth(80);
        auto* label = new QLabel(QString::fromLatin1(kLabels[static_cast<std::size_t>(i)]), rectBox);
        label->setBuddy(field);
        grid->addWidget(label, i / 2, (i % 2) * 2);
        grid->addWidget(field, i / 2, (i % 2) * 2 + 1);
        m_fields[static_cast<std::size_t>(i)] = field;
        connect(field, &QSpinBox::valueChanged, this, [this] { TakeFields(); });
    }
    m_full = LayoutButton("Full", 0, this);
    m_doubleOne = LayoutButton("Double One", 1, this);
    m_doubleTwo = LayoutButton("Double Two", 2, this);
    m_screen = new QLabel(QStringLiteral("Screen Parameters: %1 x %2").arg(screen.width()).arg(screen.height()), this);
    m_screen->setObjectName(QStringLiteral("ScreenParameters"));

    connect(m_default, &QCheckBox::toggled, this, [this](bool on) {
        if (m_showing)
            return;
        m_layout.SetUseDefault(on);
        ShowLayout();
    });
    connect(m_full, &QPushButton::clicked, this, [this] {
        m_layout.Full();
        ShowLayout();
    });
    connect(m_doubleOne, &QPushButton::clicked, this, [this] {
        m_layout.DoubleOne();
        ShowLayout();
    });
    connect(m_doubleTwo, &QPushButton::clicked, this, [this] {
        m_layout.DoubleTwo();
        ShowLayout();
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* pictures = new QHBoxLayout;
    pictures->addWidget(m_full);
    pictures->addWidget(m_doubleOne);
    pictures->addWidget(m_doubleTwo);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_default);
    layout->addWidget(rectBox);
    layout->addLayout(pictures);
    layout->addWidget(m_screen);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    m_showing = true;
    m_default->setChecked(m_layout.UseDefault());
    m_showing = false;
    ShowLayout();
}

void CScreenPropertiesDialog::ShowLayout()
{
    m_showing = true;
    const FullScreenArea& a = m_layout.Values();
    m_fields[0]->setValue(a.x);
    m_fields[1]->setValue(a.y);
    m_fields[2]->setValue(a.cx);
    m_fields[3]->setValue(a.cy);
    m_showing = false;
    const bool editable = !m_layout.UseDefault();
    for (QSpinBox* field : m_fields)
        field->setEnabled(editable);
    m_full->setEnabled(editable);
    m_doubleOne->setEnabled(editable);
    m_doubleTwo->setEnabled(editable);
}

void CScreenPropertiesDialog::TakeFields()
{
    if (m_showing)
        return;
    m_layout.SetValues(FullScreenArea{m_fields[0]->value(), m_fields[1]->value(), m_fields[2]->value(),
                                      m_fields[3]->value()});
}

} // namespace mavo
