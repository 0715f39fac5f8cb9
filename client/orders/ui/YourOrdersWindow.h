// CYourOrdersWindow: "Customer Orders", the window of "&Your Orders": the
// list "Issue", "Bid", "Offer", "Quantity" (YourOrders.h), filled when the
// window opens and on "Update"; "Enable my price colors" with the "FG" and
// "BG" colour pickers and a sample; "Enable High-Contrast Meta
// Characters". Each change is handed at once to the owner (the order
// module), which stores it in the main window's options and repaints the
// pages.
//
// Colours are colour values (0x00BBGGRR).
//
// Thread-safety: the window thread only.
#pragma once

#include "orders/YourOrders.h"

#include <QDialog>

#include <functional>
#include <optional>

class QCheckBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace mavo {

struct MyPriceOptions {
    bool enableMyPrice = false;
    bool enableMeta2 = false;
    int foreground = 0x000000;
    int background = 0xFFFF00;
    friend bool operator==(const MyPriceOptions&, const MyPriceOptions&) = default;
};

class CYourOrdersWindow : public QDialog {
    Q_OBJECT
public:
    // customers: the user's customer list as the pages see it (may give null).
    CYourOrdersWindow(COrderFeed& feed, std::function<const CCustomerRules*()> customers, QWidget* parent = nullptr);

    // Shows the options without telling the owner.
    void SetOptions(const MyPriceOptions& options);
    const MyPriceOptions& Options() const { return m_options; }
    // Called with the new options after each change by the user.
    void SetOptionsChanged(std::function<void(const MyPriceOptions&)> changed) { m_changed = std::move(changed); }
    // Where the options stand now (the main window's settings, which other
    // commands and a settings load change too): read again before each
    // change by the user and when the window opens, so that a change never
    // hands back a stale value of another option.
    void SetOptionsSource(std::function<MyPriceOptions()> source) { m_source = std::move(source); }
    // The colour dialog of "FG" and "BG"; nothing when cancelled. Tests replace it.
    using ColourPicker = std::function<std::optional<int>(QWidget* parent, int current)>;
    void SetColourPicker(ColourPicker picker) { m_pick = std::move(picker); }

    // Scans the lines again ("Update").
    void Fill();
    const std::vector<YourOrderRow>& Rows() const { return m_rows; }

    QTreeWidget* List() const { return m_list; }
    QPushButton* UpdateButton() const { return m_update; }
    QCheckBox* MyPriceBox() const { return m_myPrice; }
    QCheckBox* Meta2Box() const { return m_meta2; }
    QPushButton* ForegroundButton() const { return m_fg; }
    QPushButton* BackgroundButton() const { return m_bg; }
    QLabel* Sample() const { return m_sample; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void ShowOptions();
    void Reload();
    void Changed();
    void Pick(bool foreground);

    COrderFeed& m_feed;
    std::function<const CCustomerRules*()> m_customers;
    std::function<void(const MyPriceOptions&)> m_changed;
    std::function<MyPriceOptions()> m_source;
    ColourPicker m_pick;
    MyPriceOptions m_options;
    std::vector<YourOrderRow> m_rows;

    QTreeWidget* m_list = nullptr;
    QPushButton* m_update = nullptr;
    QCheckBox* m_myPrice = nullptr;
    QPushButton* m_fg = nullptr;
    QPushButton* m_bg = nullptr;
    QLabel* m_sample = nullptr;
    QCheckBox* m_meta2 = nullptr;
};

} // namespace mavo
