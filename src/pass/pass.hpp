// The main pass: every cleaning rule except Unicode normalization, one grapheme cluster at a
// time. Its steps, in the order a text meets them:
//   cluster_loop           the loop over clusters, and what happens to one cluster
//   line_endings           line breaks to LF on the way, then LF to the requested style
//   character_rules        the rules for one code point: hidden, control, space, dash, quote, other
//   whitespace_run         spaces and tabs held: the flush gate, trimming, collapsing
//   keyboard_only_filter   keep, spell or drop what is not on a keyboard; emoji clusters whole
//   output                 the writer that settles the whitespace run before each write
//   shortcuts/             stretches and clusters no rule can change, taken whole; the memory
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix {

// How the pass runs: with its shortcuts (the engine's way), or every cluster through the loop's
// body (the reference the shortcuts are tested against). The two give the same results.
enum class PassMode : std::uint8_t { Shortcuts, Reference };

struct PassPlan;

// Cleans `text` (valid UTF-8) into `out`, after what `out` holds (where `text` must not lie),
// adding to `tally`. `plan` is the options' (PassPlan(options)).
void run_pass(std::string_view text, const Options& options, const PassPlan& plan, PassMode mode, std::string& out,
              Tally& tally);

}  // namespace scrubix
