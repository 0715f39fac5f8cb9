#include "orders/ui/OrderDialog.h"

#include "orders/ui/IncrementDialog.h"
#include "orders/ui/OrderNumberValidator.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mavo {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

QPushButton* SmallButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("CE")) + 24);
    return button;
}

void SetTextKeepingCursor(QLineEdit* field, const std::string& text)
{
    const QString value = Text(text);
    if (field->text() != value)
        field->setText(value);
}

} // namespace

QWidget* MakeKeypad(QWidget* parent, const std::function<void(char)>& pressed,
                    std::vector<std::pair<char, QPushButton*>>& keys)
{
    auto* pad = new QWidget(parent);
    pad->setObjectName(QStringLiteral("Keypad"));
    auto* grid = new QGridLayout(pad);
    grid->setContentsMargins(0, 0, 0, 0);
    const char layout[4][3] = {{'7', '8', '9'}, {'4', '5', '6'}, {'1', '2', '3'}, {'0', '.', kClearKey}};
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 3; ++column) {
            const char key = layout[row][column];
            auto* button = SmallButton(key == kClearKey ? QStringLiteral("CE") : QString(QChar::fromLatin1(key)), pad);
            QObject::connect(button, &QPushButton::clicked, pad, [pressed, key] { pressed(key); });
            grid->addWidget(button, row, column);
            keys.emplace_back(key, button);
        }
    }
    return pad;
}

COrderDialog::COrderDialog(const LineObject& line, COrderTicket ticket, COrderIncrement& increment, QWidget* parent)
    : QDialog(parent), m_ticket(std::move(ticket)), m_increment(increment)
{
    setObjectName(QStringLiteral("OrderDialog"));
    setWindowTitle(Text(m_ticket.Title()));
    m_chooseIncrement = [](QWidget* owner, int current) { return CIncrementDialog::Run(owner, current); };
    CreateControls();
    LayOut(line);
    ConnectControls();
    Refresh();
}

void COrderDialog::CreateControls()
{
    m_rate = new QLineEdit(this);
    m_rate->setObjectName(QStringLiteral("Rate"));
    m_rate->setValidator(new COrderNumberValidator(m_rate));
    m_quantity = new QLineEdit(this);
    m_quantity->setObjectName(QStringLiteral("Quantity"));
    m_quantity->setValidator(new COrderNumberValidator(m_quantity));
    m_rateMinus = SmallButton(QStringLiteral("-"), this);
    m_ratePlus = SmallButton(QStringLiteral("+"), this);
    m_quantityMinus = SmallButton(QStringLiteral("-"), this);
    m_quantityPlus = SmallButton(QStringLiteral("+"), this);
    m_join = new QCheckBox(QStringLiteral("Join"), this);
    m_incrementButton = new QPushButton(QStringLiteral("Increment"), this);
    m_incrementButton->setAutoDefault(false);
    m_incrementLabel = new QLabel(this);
    m_incrementLabel->setObjectName(QStringLiteral("IncrementLabel"));
    m_keypadToggle = new QPushButton(QStringLiteral("Keypad >>>"), this);
    m_keypadToggle->setAutoDefault(false);
    m_confirm = new QPushButton(QStringLiteral("Confirm"), this);
    m_confirm->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancel->setAutoDefault(false);
    m_keypad = MakeKeypad(this, [this](char key) {
        m_ticket.PressKey(key);
        Refresh();
    }, m_keys);
    m_keypad->hide();
}

// The issue and its prices head the dialog; the keypad, when shown, stands to the right.
void COrderDialog::LayOut(const LineObject& line)
{
    QFont bold = font();
    bold.setBold(true);
    auto* issue = new QLabel(Text(line.m_issueName), this);
    issue->setFont(bold);
    auto* prices = new QLabel(Text(line.m_bid.m_rate + " / " + line.m_offer.m_rate + "    " + line.m_bid.m_quantity
                                   + " X " + line.m_offer.m_quantity),
                              this);
    prices->setObjectName(QStringLiteral("Prices"));
    prices->setFont(bold);

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("Rate"), this), 0, 0);
    fields->addWidget(m_rate, 0, 1);
    fields->addWidget(m_rateMinus, 0, 2);
    fields->addWidget(m_ratePlus, 0, 3);
    fields->addWidget(new QLabel(QStringLiteral("Quantity"), this), 1, 0);
    fields->addWidget(m_quantity, 1, 1);
    fields->addWidget(m_quantityMinus, 1, 2);
    fields->addWidget(m_quantityPlus, 1, 3);
    auto* incrementRow = new QHBoxLayout;
    incrementRow->addWidget(m_join);
    incrementRow->addStretch();
    incrementRow->addWidget(m_incrementButton);
    incrementRow->addWidget(m_incrementLabel);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_keypadToggle);
    buttons->addStretch();
    buttons->addWidget(m_confirm);
    buttons->addWidget(m_cancel);
    auto* left = new QVBoxLayout;
    left->addWidget(issue);
    left->addWidget(prices);
    left->addLayout(fields);
    left->addLayout(incrementRow);
    left->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(left);
    layout->addWidget(m_keypad, 0, Qt::AlignTop);
}

void COrderDialog::ConnectControls()
{
    m_rate->installEventFilter(this);
    m_quantity->installEventFilter(this);
    connect(m_rate, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_ticket.SetRateText(text.toStdString());
        Refresh();
    });
    connect(m_quantity, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_ticket.SetQuantityText(text.toStdString());
        Refresh();
    });
    connect(m_join, &QCheckBox::toggled, this, [this](bool on) {
        m_ticket.SetJoin(on);
        Refresh();
    });
    connect(m_ratePlus, &QPushButton::clicked, this, [this] {
        m_ticket.RatePlus(m_increment);
        Refresh();
    });
    connect(m_rateMinus, &QPushButton::clicked, this, [this] {
        m_ticket.RateMinus(m_increment);
        Refresh();
    });
    connect(m_quantityPlus, &QPushButton::clicked, this, [this] {
        m_ticket.QuantityPlus();
        Refresh();
    });
    connect(m_quantityMinus, &QPushButton::clicked, this, [this] {
        m_ticket.QuantityMinus();
        Refresh();
    });
    connect(m_incrementButton, &QPushButton::clicked, this, &COrderDialog::ChooseIncrement);
    connect(m_keypadToggle, &QPushButton::clicked, this, &COrderDialog::ToggleKeypad);
    connect(m_confirm, &QPushButton::clicked, this, [this] {
        if (m_ticket.CanConfirm())
            accept();
    });
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QPushButton* COrderDialog::Key(char key) const
{
    for (const auto& [k, button] : m_keys)
        if (k == key)
            return button;
    return nullptr;
}

bool COrderDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        if (watched == m_rate)
            m_ticket.SetRateFocused(true);
        else if (watched == m_quantity)
            m_ticket.SetRateFocused(false);
    }
    return QDialog::eventFilter(watched, event);
}

void COrderDialog::Refresh()
{
    SetTextKeepingCursor(m_rate, m_ticket.RateText());
    SetTextKeepingCursor(m_quantity, m_ticket.QuantityText());
    {
        const QSignalBlocker block(m_join);
        m_join->setChecked(m_ticket.Join());
    }
    m_join->setEnabled(m_ticket.JoinEnabled());
    const bool rateFree = m_ticket.RateEditable();
    m_rate->setEnabled(rateFree);
    m_ratePlus->setEnabled(rateFree);
    m_rateMinus->setEnabled(rateFree);
    m_incrementLabel->setText(QString::fromLatin1(m_increment.Current().label));
    m_confirm->setEnabled(m_ticket.CanConfirm());
}

void COrderDialog::ToggleKeypad()
{
    const bool wide = !m_keypad->isVisible();
    m_keypad->setVisible(wide);
    m_keypadToggle->setText(wide ? QStringLiteral("<< Keypad") : QStringLiteral("Keypad >>>"));
    adjustSize();
}

void COrderDialog::ChooseIncrement()
{
    if (!m_chooseIncrement)
        return;
    const int chosen = m_chooseIncrement(this, m_increment.Index());
    if (chosen >= 0)
        m_increment.SetIndex(chosen);
    Refresh();
}

} // namespace mavo
