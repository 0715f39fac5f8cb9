#include "pages/ControllerPageFeed.h"

#include "core/FeedLibrary.h"
#include "zphsource/Controller.h"
#include "zphsource/Source.h"

namespace mavo {

const LineCache& CControllerPageFeed::Cache() const { return m_controller.GetLineCache(); }
LineCache& CControllerPageFeed::MutableCache() { return m_controller.GetLineCache(); }
int CControllerPageFeed::AddRef(unsigned key) { return m_controller.AddRef(key); }
int CControllerPageFeed::Release(unsigned key) { return m_controller.Release(key); }
bool CControllerPageFeed::Register(KeyClient* client) { return m_controller.Register(client); }
bool CControllerPageFeed::Unregister(KeyClient* client) { return m_controller.Unregister(client); }
int CControllerPageFeed::UserLevel() const { return m_controller.GetUserLevel(); }
bool CControllerPageFeed::OrderEntry() const { return m_controller.GetOrderEntry(); }
bool CControllerPageFeed::GetPermission(int page) const { return m_controller.GetPermission(page); }

void CControllerPageFeed::RequestPage(int page)
{
    if (ZPHSource* source = m_controller.GetSource())
        source->RequestPage(page);
}

} // namespace mavo
