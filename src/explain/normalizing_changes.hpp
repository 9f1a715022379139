// The normalization stage watched: one piece normalized, with each change it made.
#pragma once

#include <string>
#include <string_view>

#include "explain/change_list.hpp"
#include "records/options.hpp"

namespace scrubix::explain_detail {

// Appends the `mode` form of `piece` (a part of `text`, the stage's input) to `out` and adds
// its changes over `text` to `changes`. The counter counts texts: the first change carries it,
// and `counted` says whether an earlier one did.
void normalize_reporting(std::string_view text, std::string_view piece, NormalizationMode mode, std::string& out,
                         ChangeList& changes, bool& counted);

}  // namespace scrubix::explain_detail
