// The seven pages of a page window's property sheet (and three of them in
// the print format's sheet). Each shows one record of PropertyValues.h and
// gives it back; the mapping to the page format is not done here.
//
//   CPageLayoutProp       "Layout"        title, six width sliders, five switches
//   CStackLayoutProp      "Stack"         bid and offer stack sizes, customers only
//   CAggrLayoutProp       "Aggressors"    the same for aggressors, flash, centre colours
//   CTradeHistoryProp     "Trade History" switch, three sliders, four switches, precision
//   CPageContentsProp     "Contents"      the line list (ContentsList.h) and its buttons
//   CPageColorsProp       "Colors"        the colour style
//   CPageTradeMonitorProp "Trade Monitor" switches, customers only, stack size
//
// The controls are reachable (tests drive them as a person would).
//
// Thread-safety: the window thread only.
#pragma once

#include "pages/ui/PageMessages.h"
#include "properties/ContentsList.h"
#include "properties/PropertyValues.h"

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <vector>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTreeWidget;

namespace mavo {

class CPageLayoutProp : public QWidget {
    Q_OBJECT
public:
    // withTitle false: the print format has no document, so no title.
    explicit CPageLayoutProp(bool withTitle, QWidget* parent = nullptr);
    void SetValues(const LayoutValues& values);
    LayoutValues Values() const;

    QLineEdit* Title() const { return m_title; }
    QSlider* IssueName() const { return m_issue; }
    QSlider* Rate() const { return m_rate; }
    QSlider* Quantity() const { return m_quantity; }
    QSlider* Indicative() const { return m_indicative; }
    QSlider* StackCustomer() const { return m_stackCustomer; }
    QSlider* StackQuantity() const { return m_stackQuantity; }
    QCheckBox* ShowSpread() const { return m_spread; }
    QCheckBox* ShowPrevious() const { return m_previous; }
    QCheckBox* ShowUnderlines() const { return m_underlines; }
    QCheckBox* ShowLineNumber() const { return m_numbers; }
    QCheckBox* ShowIndicatives() const { return m_indicatives; }
    QCheckBox* FixedFont() const { return m_fixedFont; }

private:
    QLineEdit* m_title = nullptr;
    QSlider* m_issue;
    QSlider* m_rate;
    QSlider* m_quantity;
    QSlider* m_indicative;
    QSlider* m_stackCustomer;
    QSlider* m_stackQuantity;
    QCheckBox* m_spread;
    QCheckBox* m_previous;
    QCheckBox* m_underlines;
    QCheckBox* m_numbers;
    QCheckBox* m_indicatives;
    QCheckBox* m_fixedFont;
};

// Radio buttons "None" ... "Five" (or "One" ... "Five") under a title.
class CSizeChoice : public QWidget {
    Q_OBJECT
public:
    CSizeChoice(const QString& title, int first, QWidget* parent = nullptr);
    // None: no button checked.
    void SetChoice(std::optional<int> size);
    std::optional<int> Choice() const;
    QRadioButton* Button(int size) const;

private:
    QButtonGroup* m_group;
    int m_first;
};

// "Customers and Quantity" / "Customers Only".
class CCustomerChoice : public QWidget {
    Q_OBJECT
public:
    explicit CCustomerChoice(QWidget* parent = nullptr);
    void SetChoice(int customerOnly);
    int Choice() const;
    QRadioButton* Button(int customerOnly) const;

private:
    QButtonGroup* m_group;
};

class CStackLayoutProp : public QWidget {
    Q_OBJECT
public:
    explicit CStackLayoutProp(QWidget* parent = nullptr);
    void SetValues(const StackValues& values);
    StackValues Values() const;

    CSizeChoice* BidSize() const { return m_bid; }
    CSizeChoice* OfferSize() const { return m_offer; }
    CCustomerChoice* Customers() const { return m_customers; }

private:
    CSizeChoice* m_bid;
    CSizeChoice* m_offer;
    CCustomerChoice* m_customers;
};

class CAggrLayoutProp : public QWidget {
    Q_OBJECT
public:
    explicit CAggrLayoutProp(QWidget* parent = nullptr);
    void SetValues(const AggressorValues& values);
    AggressorValues Values() const;

    CSizeChoice* BidSize() const { return m_bid; }
    CSizeChoice* OfferSize() const { return m_offer; }
    CCustomerChoice* Customers() const { return m_customers; }
    QCheckBox* Flash() const { return m_flash; }
    QCheckBox* CenterColors() const { return m_center; }

private:
    CSizeChoice* m_bid;
    CSizeChoice* m_offer;
    CCustomerChoice* m_customers;
    QCheckBox* m_flash;
    QCheckBox* m_center;
};

class CTradeHistoryProp : public QWidget {
    Q_OBJECT
public:
    explicit CTradeHistoryProp(QWidget* parent = nullptr);
    void SetValues(const TradeHistoryValues& values);
    TradeHistoryValues Values() const;

    QCheckBox* Show() const { return m_show; }
    QSlider* Rate() const { return m_rate; }
    QSlider* Volume() const { return m_volume; }
    QSlider* Transaction() const { return m_number; }
    QCheckBox* ShowNumber() const { return m_showNumber; }
    QCheckBox* ShowRate() const { return m_showRate; }
    QCheckBox* ShowTime() const { return m_showTime; }
    QCheckBox* ShowVolume() const { return m_showVolume; }
    QRadioButton* Precision(int index) const;

private:
    QCheckBox* m_show;
    QSlider* m_rate;
    QSlider* m_volume;
    QSlider* m_number;
    QCheckBox* m_showNumber;
    QCheckBox* m_showRate;
    QCheckBox* m_showTime;
    QCheckBox* m_showVolume;
    QButtonGroup* m_precision;
};

class CPageColorsProp : public QWidget {
    Q_OBJECT
public:
    explicit CPageColorsProp(QWidget* parent = nullptr);
    void SetValues(const ColorValues& values);
    ColorValues Values() const;
    QComboBox* ColorStyle() const { return m_style; }

private:
    QComboBox* m_style;
};

class CPageTradeMonitorProp : public QWidget {
    Q_OBJECT
public:
    explicit CPageTradeMonitorProp(QWidget* parent = nullptr);
    void SetValues(const TradeMonitorValues& values);
    TradeMonitorValues Values() const;

    QCheckBox* HasTradeLines() const { return m_has; }
    QCheckBox* ShowLineNumber() const { return m_numbers; }
    QCheckBox* ShowStack() const { return m_stack; }
    QCheckBox* ShowVolume() const { return m_volume; }
    CCustomerChoice* Customers() const { return m_customers; }
    CSizeChoice* StackSize() const { return m_size; }

private:
    QCheckBox* m_has;
    QCheckBox* m_numbers;
    QCheckBox* m_stack;
    QCheckBox* m_volume;
    CCustomerChoice* m_customers;
    CSizeChoice* m_size;
};

class CPageContentsProp : public QWidget {
    Q_OBJECT
public:
    // Asks for a page number ("Add New Page"); none when cancelled.
    using PageChooser = std::function<std::optional<int>(QWidget* parent)>;
    // Lets the user pick lines of a page ("Select Lines to Add"); the keys
    // chosen, in page order, empty when cancelled.
    using LineChooser = std::function<std::vector<unsigned>(QWidget* parent, int page)>;

    // The list starts as the document's lines, each with a reference of
    // the list's own (released when this page goes).
    CPageContentsProp(CPageFeed& feed, const std::vector<unsigned>& lines, PageAsker asker, QWidget* parent = nullptr);
    ~CPageContentsProp() override;

    CContentsList& List() { return *m_list; }
    const CContentsList& List() const { return *m_list; }
    QTreeWidget* Tree() const { return m_tree; }
    QPushButton* AddButton() const { return m_add; }
    QPushButton* RemoveButton() const { return m_remove; }
    QPushButton* FindButton() const { return m_find; }
    QPushButton* UpButton() const { return m_up; }
    QPushButton* DownButton() const { return m_down; }

    void SetPageChooser(PageChooser chooser) { m_choosePage = std::move(chooser); }
    void SetLineChooser(LineChooser chooser) { m_chooseLines = std::move(chooser); }

    std::set<int> Selection() const;
    void Select(const std::set<int>& rows);

    // The buttons.
    void Add();
    void Remove();
    void MoveUp();
    void MoveDown();

private:
    void Refill(const std::set<int>& selection);

    CPageFeed& m_feed;
    std::unique_ptr<CContentsList> m_list;
    PageAsker m_ask;
    PageChooser m_choosePage;
    LineChooser m_chooseLines;
    QTreeWidget* m_tree;
    QPushButton* m_add;
    QPushButton* m_remove;
    QPushButton* m_find;
    QPushButton* m_up;
    QPushButton* m_down;
};

} // namespace mavo
