#include "lineinfo/ui/DisplayOptionsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QVBoxLayout>

namespace mavo {

CDisplayOptionsDialog::CDisplayOptionsDialog(const CDisplayOptions& options, QWidget* parent)
    : QDialog(parent), m_given(options)
{
    setObjectName(QStringLiteral("DisplayOptions"));
    setWindowTitle(QStringLiteral("Display Options"));

    const bool on[kSwitches] = {options.backupPriceTips,     options.whenCenterTips,
                                options.previousRateTips,    options.tradeStatisticsTips,
                                options.bestPriceIndicator,  options.whenCenterColors};
    auto* tips = new QGroupBox(QStringLiteral("InfoTip"), this);
    auto* other = new QGroupBox(QStringLiteral("Other"), this);
    auto* tipsLayout = new QVBoxLayout(tips);
    auto* otherLayout = new QVBoxLayout(other);
    for (int bit = 0; bit < kSwitches; ++bit) {
        auto* box = new QCheckBox(QString::fromUtf8(kSwitchTexts[static_cast<std::size_t>(bit)]),
                                  bit < 4 ? tips : other);
        box->setChecked(on[bit]);
        (bit < 4 ? tipsLayout : otherLayout)->addWidget(box);
        m_boxes[static_cast<std::size_t>(bit)] = box;
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tips);
    layout->addWidget(other);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

CDisplayOptions CDisplayOptionsDialog::Options() const
{
    CDisplayOptions o = m_given;
    o.backupPriceTips = m_boxes[0]->isChecked();
    o.whenCenterTips = m_boxes[1]->isChecked();
    o.previousRateTips = m_boxes[2]->isChecked();
    o.tradeStatisticsTips = m_boxes[3]->isChecked();
    o.bestPriceIndicator = m_boxes[4]->isChecked();
    o.whenCenterColors = m_boxes[5]->isChecked();
    return o;
}

} // namespace mavo
