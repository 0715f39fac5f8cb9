#include "pages/PageEnvironment.h"

#include "core/FrameTexts.h"
#include "pages/PageFeed.h"

namespace mavo {

RowContext CPageEnvironment::ContextFor(const CPageFeed& feed, int page, bool showNumbers) const
{
    RowContext ctx;
    ctx.fullView = feed.IsFullView();
    ctx.bestPriceIndicator = options.bestPriceIndicator;
    ctx.whenCenterColors = options.whenCenterColors;
    ctx.enableMyPrice = options.enableMyPrice;
    ctx.enableMeta2 = options.enableMeta2;
    ctx.tradeTimer = options.tradeTimer;
    ctx.unlisted = showNumbers && pageListed && !pageListed(page);
    ctx.flashCount = flashCount;
    ctx.customers = customers;
    return ctx;
}

std::string FeedNoticeFor(FeedState feedState)
{
    return feedState == FeedState::Live ? std::string() : std::string(FeedStateText(feedState));
}

} // namespace mavo
