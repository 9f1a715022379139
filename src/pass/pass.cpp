#include "pass/pass.hpp"

#include "pass/cluster_loop.hpp"
#include "pass/line_endings.hpp"
#include "unicode/normalize.hpp"

namespace scrubix {

namespace {
// The output from `start` on may have left the form the normalization stage gave the input (see
// Output::form_at_risk): it is brought back to it, counted once with the stage.
void renormalize(NormalizationMode form, std::string& out, std::size_t start, Tally& tally) {
    const std::string_view written = std::string_view(out).substr(start);
    if (unicode::is_normalized(form, written)) return;
    std::string normalized;
    normalized.reserve(written.size());
    unicode::normalize_into(form, written, normalized);
    out.resize(start);
    out.append(normalized);
    if (tally.stats.unicode_normalized == 0) tally.add(&CleaningStats::unicode_normalized);
}
}  // namespace

void run_pass(std::string_view text, const Options& options, const PassPlan& plan, PassMode mode, std::string& out,
              Tally& tally) {
    const std::size_t start = out.size();
    // (Grown by the string's own steps when a batch writes text after text into it.)
    if (out.capacity() - start < text.size()) out.reserve(start + text.size());
    ClusterLoop loop(options, plan, mode, out, tally, text.size());
    loop.run(text);
    if (options.unicode_normalization != NormalizationMode::None && loop.form_at_risk())
        renormalize(options.unicode_normalization, out, start, tally);
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, loop.line_breaks(), out, start, tally);
}

}  // namespace scrubix
