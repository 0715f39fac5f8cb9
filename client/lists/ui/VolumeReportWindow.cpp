#include "lists/ui/VolumeReportWindow.h"

#include "Brindle/base/RegSection.h"
#include "core/FrameTexts.h"
#include "core/ui/MessageService.h"
#include "lists/StoredLists.h"
#include "lists/ui/PageListDialog.h"
#include "lists/ui/ReportNameDialog.h"
#include "pages/PageFeed.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTimerEvent>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace mavo {

namespace {

constexpr const char* kReportExistsText = "That report name already exists";
constexpr const char* kDeleteCaption = "Delete Report";
constexpr const char* kDeleteQuestion = "Are you sure you want to delete report '%1'?";
// Our own: the store refused a report.
constexpr const char* kCannotSaveReport = "The report could not be saved.";
constexpr const char* kCannotDeleteReport = "The report could not be deleted.";

QString Q(const std::string& text) { return QString::fromStdString(text); }

} // namespace

CVolumeReportWindow::CVolumeReportWindow(CPageFeed& feed, CMessageService& messages, std::string settingsRoot,
                                         QWidget* parent)
    : QDialog(parent),
      m_feed(feed),
      m_messages(messages),
      m_sectionPath(std::move(settingsRoot) + "/" + kVolumeReportSection),
      m_reports(new QComboBox(this)),
      m_new(new QPushButton(QStringLiteral("New"), this)),
      m_modify(new QPushButton(QStringLiteral("Modify"), this)),
      m_delete(new QPushButton(QStringLiteral("Delete"), this)),
      m_run(new QPushButton(QStringLiteral("Run"), this)),
      m_results(new QLabel(QStringLiteral("Report Results"), this)),
      m_rows(new QTreeWidget(this)),
      m_total(new QLabel(this)),
      m_wakeup(this)
{
    setWindowTitle(QStringLiteral("Trade Volume Report"));
    setObjectName(QStringLiteral("TradeVolumeReport"));
    setModal(false);
    m_reports->setObjectName(QStringLiteral("SelectReport"));
    m_reports->setMinimumContentsLength(kReportNameChars);
    m_rows->setObjectName(QStringLiteral("Results"));
    m_rows->setColumnCount(4);
    m_rows->setHeaderLabels({QStringLiteral("Page"), QStringLiteral("Line"), QStringLiteral("Issue"),
                             QStringLiteral("Volume")});
    m_rows->setRootIsDecorated(false);
    m_rows->setUniformRowHeights(true);
    m_rows->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const int cw = m_rows->fontMetrics().averageCharWidth();
    m_rows->setColumnWidth(0, 6 * cw);
    m_rows->setColumnWidth(1, 6 * cw);
    m_rows->setColumnWidth(2, 22 * cw);
    // The volume column holds the widest volume whole even with the
    // vertical scroll bar up.
    const int volume = m_rows->fontMetrics().horizontalAdvance(QString::fromLatin1(kWidestVolumeText)) + 2 * cw;
    const int chrome = m_rows->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 2 * m_rows->frameWidth();
    m_rows->setMinimumSize(34 * cw + volume + chrome, 240);
    m_total->setObjectName(QStringLiteral("Total"));
    m_results->setObjectName(QStringLiteral("ResultsLabel"));
    for (QPushButton* b : {m_new, m_modify, m_delete, m_run})
        b->setAutoDefault(false);

    auto* select = new QHBoxLayout;
    select->addWidget(new QLabel(QStringLiteral("Select Report"), this));
    select->addWidget(m_reports, 1);
    auto* actions = new QHBoxLayout;
    for (QPushButton* b : {m_new, m_modify, m_delete, m_run})
        actions->addWidget(b);
    actions->addStretch(1);
    auto* total = new QHBoxLayout;
    total->addWidget(new QLabel(QStringLiteral("Total Volume:"), this));
    total->addWidget(m_total);
    total->addStretch(1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    total->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(select);
    layout->addLayout(actions);
    layout->addWidget(m_results);
    layout->addWidget(m_rows, 1);
    layout->addLayout(total);

    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_reports, &QComboBox::activated, this, [this](int index) { SelectReport(index); });
    connect(m_new, &QPushButton::clicked, this, [this] { NewReport(); });
    connect(m_modify, &QPushButton::clicked, this, [this] { ModifyReport(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { DeleteReport(); });
    connect(m_run, &QPushButton::clicked, this, [this] { RunReport(); });

    const Brindle::CRegSection section(HKEY_CURRENT_USER, m_sectionPath.c_str());
    for (const std::string& name : LoadReportNames(section))
        m_reports->addItem(Q(name));
    m_reports->setCurrentIndex(-1);
    SetReportButtons(Selection::None);

    m_registered = m_feed.Register(&m_wakeup);
    m_timer.start(kTotalIntervalMs, this);
}

CVolumeReportWindow::~CVolumeReportWindow()
{
    m_timer.stop();
    // Unregister returns only when no call-back is running: nothing posts
    // here once it is done.
    if (m_registered)
        m_feed.Unregister(&m_wakeup);
    for (unsigned key : m_keys)
        m_feed.Release(key);
}

void CVolumeReportWindow::SetReportButtons(Selection selection)
{
    const bool selected = selection != Selection::None;
    m_run->setEnabled(selection == Selection::Report);
    m_modify->setEnabled(selected);
    m_delete->setEnabled(selected);
}

std::string CVolumeReportWindow::SelectedName() const
{
    const int index = m_reports->currentIndex();
    return index < 0 ? std::string() : m_reports->itemText(index).toStdString();
}

void CVolumeReportWindow::ShowError(const QString& text)
{
    m_messages.Show(this, QString::fromUtf8(kErrorCaption), text, CMessageService::Icon::Error,
                    CMessageService::Buttons::Ok);
}

void CVolumeReportWindow::SelectReport(int index)
{
    if (index < 0 || index >= m_reports->count())
        return;
    m_reports->setCurrentIndex(index);
    const Brindle::CRegSection section(HKEY_CURRENT_USER, m_sectionPath.c_str());
    m_pages = LoadReportPages(section, SelectedName());
    SetReportButtons(Selection::Report);
}

void CVolumeReportWindow::NewReport()
{
    CReportNameDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::string name = dialog.Name();
    if (!IsValidReportName(name))
        return;
    std::vector<std::string> names;
    for (int i = 0; i < m_reports->count(); ++i)
        names.push_back(m_reports->itemText(i).toStdString());
    if (FindReportName(names, name) >= 0) {
        ShowError(QString::fromUtf8(kReportExistsText));
        return;
    }
    const Brindle::CRegSection section(HKEY_CURRENT_USER, m_sectionPath.c_str());
    if (!SaveReport(section, name, {})) {
        ShowError(QString::fromUtf8(kCannotSaveReport));
        return;
    }
    m_reports->addItem(Q(name));
    m_reports->setCurrentIndex(m_reports->count() - 1);
    m_pages.clear();
    SetReportButtons(Selection::NewReport);
}

void CVolumeReportWindow::ModifyReport()
{
    const std::string name = SelectedName();
    if (name.empty())
        return;
    CPageListDialog dialog(m_pages, [this](int page) { return m_feed.GetPermission(page); }, PageChecking::NoBox, this);
    dialog.SetRefusal([this](QWidget* parent) {
        m_messages.Show(parent, QString::fromUtf8(kNoPermissionCaption), QString::fromUtf8(kNoPermissionText),
                        CMessageService::Icon::Error, CMessageService::Buttons::Ok);
    });
    if (dialog.exec() != QDialog::Accepted)
        return;
    const std::vector<int> pages = dialog.Pages();
    const Brindle::CRegSection section(HKEY_CURRENT_USER, m_sectionPath.c_str());
    if (!SaveReport(section, name, pages)) {
        ShowError(QString::fromUtf8(kCannotSaveReport));
        return;
    }
    m_pages = pages;
    m_run->setEnabled(true);
}

void CVolumeReportWindow::DeleteReport()
{
    const std::string name = SelectedName();
    if (name.empty())
        return;
    const int answer = m_messages.Show(this, QString::fromUtf8(kDeleteCaption),
                                       QString::fromUtf8(kDeleteQuestion).arg(Q(name)),
                                       CMessageService::Icon::Question, CMessageService::Buttons::YesNo);
    if (answer != CMessageService::Yes)
        return;
    const Brindle::CRegSection section(HKEY_CURRENT_USER, m_sectionPath.c_str());
    std::string left;
    // A value someone else removed already is as good as deleted.
    if (!mavo::DeleteReport(section, name) && ReadWholeString(section, name.c_str(), left)) {
        ShowError(QString::fromUtf8(kCannotDeleteReport));
        return;
    }
    m_reports->removeItem(m_reports->currentIndex());
    m_reports->setCurrentIndex(-1);
    m_pages.clear();
    SetReportButtons(Selection::None);
}

void CVolumeReportWindow::ClearResults()
{
    m_wakeup.Watch({});
    m_wakeup.Discard();
    m_rows->clear();
    m_results->setText(QStringLiteral("Report Results"));
    m_total->clear();
    m_rowsOfKey.clear();
    for (unsigned key : m_keys)
        m_feed.Release(key);
    m_keys.clear();
}

void CVolumeReportWindow::RunReport()
{
    m_run->setEnabled(false);
    ClearResults();
    m_keys = ReportKeys(m_pages);
    m_wakeup.Watch(m_keys);
    for (unsigned key : m_keys) {
        m_feed.AddRef(key);
        const int row = m_rows->topLevelItemCount();
        auto* item = new QTreeWidgetItem(m_rows);
        item->setData(0, Qt::UserRole, key);
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
        m_rowsOfKey[key].push_back(row);
        FillRow(row);
    }
    m_results->setText(Q(ReportResultsLabel(SelectedName())));
}

void CVolumeReportWindow::FillRow(int row)
{
    QTreeWidgetItem* item = m_rows->topLevelItem(row);
    if (item == nullptr || row >= static_cast<int>(m_keys.size()))
        return;
    const unsigned key = m_keys[static_cast<std::size_t>(row)];
    const LineRef line = m_feed.Cache().GetForRead(key);
    const ReportRowText text = MakeReportRow(key, line.get());
    item->setText(0, Q(text.page));
    item->setText(1, Q(text.line));
    item->setText(2, Q(text.issue));
    item->setText(3, Q(text.volume));
    m_changed = true;
}

void CVolumeReportWindow::UpdateTotal()
{
    if (!m_changed)
        return;
    m_changed = false;
    m_total->setText(Q(FormatTotal(TotalVolume(m_feed.Cache(), m_keys))));
}

void CVolumeReportWindow::customEvent(QEvent* event)
{
    const auto keys = m_wakeup.Take(event);
    if (!keys) {
        QDialog::customEvent(event);
        return;
    }
    for (unsigned key : *keys) {
        const auto found = m_rowsOfKey.find(key);
        if (found == m_rowsOfKey.end())
            continue;
        for (int row : found->second) {
            FillRow(row);
            ++m_rowsRefilled;
        }
    }
}

void CVolumeReportWindow::timerEvent(QTimerEvent* event)
{
    if (event->timerId() == m_timer.timerId()) {
        UpdateTotal();
        return;
    }
    QDialog::timerEvent(event);
}

} // namespace mavo
