// CPageEnvironment: what every page window shares and reads while drawing:
// the four colour schemes, the main frame's switches that change the
// drawing, the user's customer list and page list (as tests), and the
// flash timer's tick count. The main frame's page module owns the one
// instance; views hold a reference.
//
// Thread-safety: the window thread only.
#pragma once

#include "core/FeedLibrary.h"
#include "zph/FeedState.h"
#include "pages/CenterColor.h"
#include "pages/ColorScheme.h"
#include "pages/RowCells.h"

#include <functional>
#include <string>

namespace mavo {

class CPageFeed;

struct CPageOptions {
    bool bestPriceIndicator = false;  // display option bit 4
    bool whenCenterColors = false;    // display option bit 5
    bool enableMyPrice = false;
    bool enableMeta2 = false;
    bool tradeTimer = false;
    bool anchored = false;
    bool infoOnClick = false;
};

class CPageEnvironment {
public:
    CColorSchemes schemes;
    CPageOptions options;
    // Null: no customer list (no customer is the user's).
    const CCustomerRules* customers = nullptr;
    // Null: page checking is off, every page is listed.
    std::function<bool(int page)> pageListed;
    int flashCount = 0;
    // What every page says on its face while the feed is not live ("Feed
    // Stale", "Feed Dead"; empty while it is live or not yet heard of): the
    // line cache is emptied then, and bare rows would say nothing.
    std::string feedNotice;

    // The drawing context of a row of `page` (0 for a line of no page).
    // showNumbers: the format's "ShowNumbers"; without line numbers no row
    // is unlisted.
    RowContext ContextFor(const CPageFeed& feed, int page, bool showNumbers) const;
};

// The face notice of a feed state: "" while live, else the state's text.
std::string FeedNoticeFor(FeedState feedState);

} // namespace mavo
