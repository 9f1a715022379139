// The engine with its shortcuts switched off (PassMode::Reference): no ASCII fast path, no
// verbatim stretches, no untouched runs, nothing remembered, no normalization skipped. Every
// cluster goes through segmentation, the character rules and the filter. It gives the same
// results as `clean`, only slower; the tests and the clean fuzz target run both so that a
// shortcut that diverges from the reference shows up.
#pragma once

#include <string_view>

#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix {

// The result always owns its text.
CleaningResult clean_reference(std::string_view text, const Options& options);

}  // namespace scrubix
