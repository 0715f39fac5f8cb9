// CStandardIconCache: the application's style, unchanged, except that the
// standard icons it is asked for without a style option are made once and
// handed out again. Every page window's frame asks the style for its title
// bar and system menu icons, and the style reads them from image files each
// time: with ten pages that was a fifth of MAVO's start-up.
//
// Icons asked for with an option (which may carry a state or a direction)
// are never cached. The cache follows the layout direction and is emptied
// when the platform's theme changes, so a new icon theme is picked up.
//
// Thread-safety: the window thread only, like every style call.
#pragma once

#include <QIcon>
#include <QProxyStyle>

#include <map>
#include <utility>

namespace mavo {

class CStandardIconCache : public QProxyStyle {
    Q_OBJECT
public:
    // Wraps base, which this object then owns.
    explicit CStandardIconCache(QStyle* base);

    // Puts the cache in front of the application's style (a fresh object of
    // the same kind); without one of that kind the style stays as it is.
    static void Install();

    QIcon standardIcon(StandardPixmap icon, const QStyleOption* option = nullptr,
                       const QWidget* widget = nullptr) const override;

    // How many icons the base style was asked for (cache misses).
    int BaseCalls() const { return m_baseCalls; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    mutable std::map<std::pair<int, bool>, QIcon> m_icons;
    mutable int m_baseCalls = 0;
};

} // namespace mavo
