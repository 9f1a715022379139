#include "pass/pass.hpp"

#include "pass/cluster_loop.hpp"
#include "pass/line_endings.hpp"
#include "unicode/normalize.hpp"

namespace scrubix {

namespace {
// The output may have left the form the normalization stage gave the input (see
// Output::form_at_risk): it is brought back to it, counted once with the stage.
void renormalize(NormalizationMode form, std::string& out, Tally& tally) {
    if (unicode::is_normalized(form, out)) return;
    std::string normalized;
    normalized.reserve(out.size());
    unicode::normalize_into(form, out, normalized);
    out.swap(normalized);
    if (tally.stats.unicode_normalized == 0) tally.add(&CleaningStats::unicode_normalized);
}
}  // namespace

void run_pass(std::string_view text, const Options& options, const PassPlan& plan, PassMode mode, std::string& out,
              Tally& tally) {
    out.reserve(text.size());
    ClusterLoop loop(options, plan, mode, out, tally, text.size());
    loop.run(text);
    if (options.unicode_normalization != NormalizationMode::None && loop.form_at_risk())
        renormalize(options.unicode_normalization, out, tally);
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, loop.line_breaks(), out, tally);
}

}  // namespace scrubix
