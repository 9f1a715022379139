// The main character pass: every cleaning rule except Unicode normalization.
#pragma once

#include <string>
#include <string_view>

#include "options.hpp"
#include "stats.hpp"

namespace scrubix {

// Cleans `text` (valid UTF-8) into `out`, which must be empty, adding to `tally`.
void run_main_pass(std::string_view text, const Options& options, std::string& out, Tally& tally);

}  // namespace scrubix
