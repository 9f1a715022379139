#include "main_pass.hpp"

#include "character_pass.hpp"
#include "general_path.hpp"
#include "line_endings.hpp"

namespace scrubix {

namespace {

void run_pass(std::string_view text, const Options& options, std::string& out, Tally& tally, PassMode mode) {
    // The general path rewrites line breaks in a copy first; the shortcut pass does it on the way.
    std::string unified;
    LineBreakCounts breaks;
    if (options.has_line_endings() && mode == PassMode::general) {
        breaks = unify_line_breaks(text, unified);
        text = unified;
    }
    out.reserve(text.size());
    CharacterPass pass(options, out, tally, mode, text.size());
    pass.run(text);
    if (mode == PassMode::shortcuts) breaks = pass.breaks();
    if (options.has_line_endings()) convert_line_breaks(options.line_endings, breaks, out, tally);
}

}  // namespace

void run_main_pass(std::string_view text, const Options& options, std::string& out, Tally& tally) {
    run_pass(text, options, out, tally, PassMode::shortcuts);
}

void run_main_pass_general(std::string_view text, const Options& options, std::string& out, Tally& tally) {
    run_pass(text, options, out, tally, PassMode::general);
}

}  // namespace scrubix
