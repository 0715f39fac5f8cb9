// The pages the Page Permission window lists: every page 1..300 the feed
// allows the user to see, each as "%d", ascending; and the window's two
// captions.
//
// Thread-safety: pure function, any thread (the test is called on it).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace mavo {

inline constexpr const char* kPagePermissionCaption = "Page Permission";
inline constexpr const char* kNewPermissionCaption = "New Permission Received";

std::vector<std::string> PermittedPageTexts(const std::function<bool(int page)>& permitted);

} // namespace mavo
