// Internal to the stand-in: resource type numbers of the compiled .res.
#pragma once

namespace winsim::detail {
constexpr int kRtDialog = 5;
constexpr int kRtString = 6;
constexpr int kRtGroupIcon = 14;
}  // namespace winsim::detail
