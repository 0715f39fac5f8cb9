// The "Trade Volume Report" window: named reports from the "VolumeReport"
// section in "Select Report", the buttons "New", "Modify", "Delete" and
// "Run", the results in four columns ("Page", "Line", "Issue", "Volume")
// and "Total Volume:".
//
// While it exists the window is a key client of the feed: the feed thread
// only queues the changed key (CKeyWakeup) and wakes the window, which
// refills the rows of the keys it lists. Every row of a run holds a
// reference on its line, released when the rows are cleared or the window
// goes. Every 5 seconds the total is computed again when rows were filled
// since the last time, counting each issue once.
//
// New asks the name ("Enter Report Name"); a name already listed (without
// regard to case) is refused with "That report name already exists".
// Delete asks "Are you sure you want to delete report '%s'?" and deletes
// only on Yes. Modify edits the report's pages in the page list dialog.
//
// Thread-safety: the window thread only; the key client's call-back runs
// on feed threads and only queues.
#pragma once

#include "lists/VolumeReport.h"
#include "pages/ui/KeyWakeup.h"
#include "core/FeedLibrary.h"
#include "zph/Clients.h"

#include <QBasicTimer>
#include <QEvent>
#include <QDialog>

#include <atomic>
#include <string>
#include <unordered_map>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace mavo {

class CMessageService;
class CPageFeed;

// The widest daily volume the window makes room for.
inline constexpr const char* kWidestVolumeText = "999999999.99";

class CVolumeReportWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTotalIntervalMs = 5000;

    // settingsRoot: the application's key ("VolumeReport" lies below it).
    CVolumeReportWindow(CPageFeed& feed, CMessageService& messages, std::string settingsRoot,
                        QWidget* parent = nullptr);
    ~CVolumeReportWindow() override;

    // The user chose the report at index in "Select Report".
    void SelectReport(int index);
    void NewReport();
    void ModifyReport();
    void DeleteReport();
    void RunReport();
    // The 5-second timer's work.
    void UpdateTotal();

    const std::vector<unsigned>& Keys() const { return m_keys; }
    const std::vector<int>& ReportPages() const { return m_pages; }
    bool Changed() const { return m_changed; }
    int RowsRefilled() const { return m_rowsRefilled; }

    QComboBox* Reports() const { return m_reports; }
    QPushButton* NewButton() const { return m_new; }
    QPushButton* ModifyButton() const { return m_modify; }
    QPushButton* DeleteButton() const { return m_delete; }
    QPushButton* RunButton() const { return m_run; }
    QLabel* ResultsLabel() const { return m_results; }
    QLabel* Total() const { return m_total; }
    QTreeWidget* Rows() const { return m_rows; }

protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    void ClearResults();
    void FillRow(int row);
    // No report selected: nothing to run, modify or delete; a new report
    // has no pages to run yet.
    enum class Selection { None, NewReport, Report };
    void SetReportButtons(Selection selection);
    std::string SelectedName() const;
    void ShowError(const QString& text);

    CPageFeed& m_feed;
    CMessageService& m_messages;
    std::string m_sectionPath;

    QComboBox* m_reports;
    QPushButton* m_new;
    QPushButton* m_modify;
    QPushButton* m_delete;
    QPushButton* m_run;
    QLabel* m_results;
    QTreeWidget* m_rows;
    QLabel* m_total;

    std::vector<int> m_pages;
    std::vector<unsigned> m_keys;
    // A report may list a page twice: a key then has several rows.
    std::unordered_map<unsigned, std::vector<int>> m_rowsOfKey;
    bool m_changed = false;
    int m_rowsRefilled = 0;

    CKeyWakeup m_wakeup;
    bool m_registered = false;
    QBasicTimer m_timer;
};

} // namespace mavo
