#include "orders/OrderFeed.h"

#include "orders/TradeButtons.h"
#include "core/FeedLibrary.h"
#include "zphsource/Controller.h"

namespace mavo {

LineRef CControllerOrderFeed::GetLine(unsigned key) const { return m_controller.GetLineCache().GetForRead(key); }

int CControllerOrderFeed::UserLevel() const { return m_controller.GetUserLevel(); }

bool CControllerOrderFeed::OrderEntry() const { return m_controller.GetOrderEntry(); }

int CControllerOrderFeed::RefCount(int page, int line) const { return m_controller.RefCount(page, line); }

bool CControllerOrderFeed::MarkLine(unsigned key, bool on)
{
    {
        LineWriter writer = m_controller.GetLineCache().GetForWrite(key);
        if (!writer)
            return false;
        if (on)
            writer->m_lineFlags |= kTradeWindowLineFlag;
        else
            writer->m_lineFlags &= ~kTradeWindowLineFlag;
        writer.Commit();
    }
    // Dispatched after the writer's lock is gone: key clients read the line.
    m_controller.AddDispatch(key);
    m_controller.Dispatch();
    return true;
}

bool CControllerOrderFeed::Register(KeyClient* client) { return m_controller.Register(client); }

bool CControllerOrderFeed::Unregister(KeyClient* client) { return m_controller.Unregister(client); }

bool CControllerOrderFeed::Send(const ZPHMessage& msg)
{
    ZPHSource* source = m_controller.GetSource();
    return source != nullptr && source->Send(msg);
}

} // namespace mavo
