#include "core/ui/StandardIconCache.h"

#include <QApplication>
#include <QEvent>
#include <QStyleFactory>

namespace mavo {

CStandardIconCache::CStandardIconCache(QStyle* base) : QProxyStyle(base)
{
    // A theme change reaches every widget; the application sees it first.
    if (qApp != nullptr)
        qApp->installEventFilter(this);
}

void CStandardIconCache::Install()
{
    QStyle* current = QApplication::style();
    if (current == nullptr || qobject_cast<CStandardIconCache*>(current) != nullptr)
        return;
    if (QStyle* base = QStyleFactory::create(current->name()))
        QApplication::setStyle(new CStandardIconCache(base));
}

QIcon CStandardIconCache::standardIcon(StandardPixmap icon, const QStyleOption* option, const QWidget* widget) const
{
    if (option != nullptr) {
        ++m_baseCalls;
        return QProxyStyle::standardIcon(icon, option, widget);
    }
    // Without an option the base style decides by the icon and the
    // application's direction alone.
    const std::pair<int, bool> key{static_cast<int>(icon), QGuiApplication::isRightToLeft()};
    auto found = m_icons.find(key);
    if (found == m_icons.end()) {
        ++m_baseCalls;
        found = m_icons.emplace(key, QProxyStyle::standardIcon(icon, nullptr, widget)).first;
    }
    return found->second;
}

bool CStandardIconCache::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ThemeChange)
        m_icons.clear();
    return QProxyStyle::eventFilter(watched, event);
}

} // namespace mavo
