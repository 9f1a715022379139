// The main character pass, cluster by cluster, with the shortcuts that take whole stretches of
// text at once where no rule can act. Internal to the engine: run_main_pass (main_pass.hpp)
// is its entry. The walk over the text and its ASCII stretches are in character_pass.cpp, the
// loop over text with non-ASCII characters in untouched_clusters.cpp, the character pipeline in
// character_pipeline.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "code_point_memo.hpp"
#include "keyboard_only_filter.hpp"
#include "line_endings.hpp"
#include "options.hpp"
#include "pass_state.hpp"
#include "stats.hpp"
#include "unicode/char_props.hpp"
#include "unicode/char_tables.hpp"
#include "verbatim_ascii.hpp"

namespace scrubix {

// How a pass runs: with every shortcut (the engine's way), or cluster by cluster through the
// general path only (the reference the shortcuts are tested against).
enum class PassMode : std::uint8_t { shortcuts, general };

// One pass over one text: the state that lives from cluster to cluster and the steps that
// handle a cluster or a stretch of them.
class CharacterPass {
public:
    CharacterPass(const Options& options, std::string& out, Tally& tally, PassMode mode, std::size_t text_size)
        : o_(options),
          shortcuts_(mode == PassMode::shortcuts),
          unify_breaks_(mode == PassMode::shortcuts && options.has_line_endings()),
          active_(active_pass_classes(options)),
          plain_runs_(!options.keyboard_only),
          // Line and paragraph separators and NEL may be line breaks of their own.
          stop_(active_ | unicode::kPassLineSep | (options.has_line_endings() ? unicode::kPassControl : 0)),
          ascii_(options),
          state_(options, out, tally),
          filter_(mode == PassMode::shortcuts, text_size),
          memo_(text_size) {}

    void run(std::string_view text);

    // Line breaks rewritten as LF on the way (only when the pass unifies them itself).
    const LineBreakCounts& breaks() const noexcept { return breaks_; }

private:
    // The pass classes that some enabled rule of the character pipeline acts on. A code point
    // with none of them passes the pipeline unchanged.
    static std::uint8_t active_pass_classes(const Options& o) noexcept {
        std::uint8_t m = 0;
        if (o.remove_hidden) m |= unicode::kPassHidden;
        if (o.remove_control_chars) m |= unicode::kPassControl;
        if (o.normalize_spaces) m |= unicode::kPassSpace;
        if (o.normalize_dashes) m |= unicode::kPassDash;
        if (o.normalize_quotes) m |= unicode::kPassQuote;
        if (o.normalize_other) m |= unicode::kPassOther;
        return m;
    }
    static std::uint8_t pass_class_of(char32_t c) noexcept {
        if (c < 0x80) return unicode::is_removable_control(c) ? unicode::kPassControl : 0;
        return unicode::pass_class_inline(c);
    }
    static constexpr bool is_printable_ascii(unsigned char b) noexcept { return b > 0x20 && b < 0x7F; }

    // --- shortcuts (character_pass.cpp, untouched_clusters.cpp) ------------------------------

    // Writes the verbatim ASCII stretch [pos, end) as far as the pass state allows; returns
    // where the general path takes over.
    std::size_t emit_stretch(std::string_view text, std::size_t pos, std::size_t end);
    // The ASCII clusters that need no tables; returns the position after the one handled, or
    // `pos` when the cluster needs the general path.
    std::size_t single_ascii(std::string_view text, std::size_t pos);
    // Handles the clusters from `pos` that need no pipeline, in text where non-ASCII characters
    // and ASCII ones mix: runs of clusters no rule touches, written in one piece (not
    // keyboard-only), or characters whose keyboard-only outcome is remembered, with the ASCII
    // letters and single spaces between them. Returns where the general path takes over.
    std::size_t untouched_clusters(std::string_view text, std::size_t pos);
    CodePointMemo::Facts& facts_of(char32_t c) { return memo_.lookup(c); }

    // --- the general path: one cluster at a time (character_pipeline.cpp) ---------------------

    // Line-break clusters, and with a line-ending style every break the style rewrites as LF.
    bool line_break_cluster(std::string_view cluster);
    // The cluster loop's body for one cluster.
    void process_cluster(std::string_view cluster);
    // The same for a cluster known to be the one code point `c`, of pass classes `cls`.
    void process_single(std::string_view cluster, char32_t c, std::uint8_t cls);
    // What happens to a cluster once the pipeline has made `processed` of it.
    void decide(std::string_view cluster, std::string_view processed, std::size_t hidden_removed,
                unicode::EmojiVerdict& verdict);
    void emit_ellipsis();
    // The rules of the character pipeline for one code point `c` (with pass classes `cls`) of
    // `cluster`: removes it, keeps it (possibly changed), ends the cluster at an ellipsis, or
    // writes U+0149 as an apostrophe and its n.
    enum class Rule : std::uint8_t { kept, removed, ellipsis, apostrophe_n };
    Rule rules(std::string_view cluster, char32_t& c, std::uint8_t cls, unicode::EmojiVerdict& verdict,
               std::size_t& hidden_removed);
    // Runs the character pipeline over the cluster and points `processed` at the result (the
    // cluster itself when no rule touched it). False when the ellipsis rule ended the cluster.
    bool pipeline(std::string_view cluster, unicode::EmojiVerdict& verdict, std::size_t& hidden_removed,
                  std::string_view& processed);
    // Bytes at the start of the cluster with none of the pass classes in `mask`.
    std::size_t untouched_prefix(std::string_view cluster, std::uint8_t mask) const noexcept;

    const Options& o_;
    const bool shortcuts_;
    const bool unify_breaks_;
    const std::uint8_t active_;
    const bool plain_runs_;
    const std::uint8_t stop_;  // pass classes that end a run of plain clusters
    const VerbatimAscii ascii_;
    PassState state_;
    KeyboardOnlyFilter filter_;
    CodePointMemo memo_;
    std::string buffer_;
    LineBreakCounts breaks_;
};

}  // namespace scrubix
