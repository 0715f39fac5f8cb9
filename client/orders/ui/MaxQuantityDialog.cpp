#include "orders/ui/MaxQuantityDialog.h"

#include "orders/ui/OrderDialog.h"
#include "orders/ui/OrderNumberValidator.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace mavo {

namespace {

QPushButton* StepButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedWidth(button->fontMetrics().horizontalAdvance(QStringLiteral("CE")) + 24);
    return button;
}

} // namespace

CMaxQuantityDialog::CMaxQuantityDialog(const LineObject& line, CMaxQuantityTicket ticket, QWidget* parent)
    : QDialog(parent), m_ticket(std::move(ticket))
{
    setObjectName(QStringLiteral("MaximumQuantity"));
    setWindowTitle(QString::fromStdString(m_ticket.Title()));
    QFont bold = font();
    bold.setBold(true);
    auto* heading = new QLabel(QStringLiteral("Maximum Quantity Desired"), this);
    auto* issue = new QLabel(QString::fromStdString(line.m_issueName), this);
    issue->setFont(bold);
    auto* prices = new QLabel(QString::fromStdString(line.m_bid.m_rate + " / " + line.m_offer.m_rate + "    "
                                                     + line.m_bid.m_quantity + " X " + line.m_offer.m_quantity),
                              this);
    prices->setFont(bold);
    m_quantity = new QLineEdit(this);
    m_quantity->setObjectName(QStringLiteral("Quantity"));
    m_quantity->setValidator(new COrderNumberValidator(m_quantity));
    m_minus = StepButton(QStringLiteral("-"), this);
    m_plus = StepButton(QStringLiteral("+"), this);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setAutoDefault(false);
    QWidget* keypad = MakeKeypad(this, [this](char key) {
        m_ticket.PressKey(key);
        Refresh();
    }, m_keys);

    auto* quantityRow = new QHBoxLayout;
    quantityRow->addWidget(new QLabel(QStringLiteral("Quantity"), this));
    quantityRow->addWidget(m_quantity);
    quantityRow->addWidget(m_minus);
    quantityRow->addWidget(m_plus);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(cancel);
    auto* left = new QVBoxLayout;
    left->addWidget(heading);
    left->addWidget(issue);
    left->addWidget(prices);
    left->addLayout(quantityRow);
    left->addStretch();
    left->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addLayout(left);
    layout->addWidget(keypad, 0, Qt::AlignTop);

    connect(m_quantity, &QLineEdit::textEdited, this, [this](const QString& text) {
        m_ticket.SetQuantityText(text.toStdString());
        Refresh();
    });
    connect(m_plus, &QPushButton::clicked, this, [this] {
        m_ticket.QuantityPlus();
        Refresh();
    });
    connect(m_minus, &QPushButton::clicked, this, [this] {
        m_ticket.QuantityMinus();
        Refresh();
    });
    connect(m_ok, &QPushButton::clicked, this, [this] {
        if (m_ticket.CanSend())
            accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    Refresh();
}

QPushButton* CMaxQuantityDialog::Key(char key) const
{
    for (const auto& [k, button] : m_keys)
        if (k == key)
            return button;
    return nullptr;
}

void CMaxQuantityDialog::Refresh()
{
    const QString text = QString::fromStdString(m_ticket.QuantityText());
    if (m_quantity->text() != text)
        m_quantity->setText(text);
    m_ok->setEnabled(m_ticket.CanSend());
}

} // namespace mavo
