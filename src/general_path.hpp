// The engine with its shortcuts switched off: no ASCII fast path, no verbatim stretches, no
// untouched-cluster or remembered-character shortcuts, the line-ending pre-pass as a separate
// copy. Every cluster goes through segmentation, the full character pipeline and the filter.
// It gives the same results as `clean`, only slower; the tests run both over random texts so
// that a shortcut that diverges from the general path shows up.
#pragma once

#include <string>
#include <string_view>

#include "options.hpp"
#include "stats.hpp"

namespace scrubix {

// The main pass, cluster by cluster. Same contract as run_main_pass.
void run_main_pass_general(std::string_view text, const Options& options, std::string& out, Tally& tally);

// The driver over the general pass; the result always owns its text.
CleaningResult clean_general(std::string_view text, const Options& options);

}  // namespace scrubix
