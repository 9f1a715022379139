// What the pass works out from the options alone, before it reads a text: the rule classes it
// acts on, where its shortcuts stop, which ASCII bytes its stretches take. The same for every
// text under one options record, so a batch works it out once.
#pragma once

#include <cstdint>

#include "pass/character_rules.hpp"
#include "pass/shortcuts/rule_characters.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"
#include "records/options.hpp"
#include "unicode/char_props.hpp"

namespace scrubix {

struct PassPlan {
    explicit PassPlan(const Options& options) noexcept
        : unify_breaks(options.has_line_endings()),
          active(active_rule_classes(options)),
          // Line and paragraph separators, and NEL with a line-ending style, are line breaks.
          stop(active | unicode::kPassLineSep | (options.has_line_endings() ? unicode::kPassControl : 0)),
          verbatim(options),
          rule_characters(stop, !options.keyboard_only),
          watch_seams(options.unicode_normalization != NormalizationMode::None) {}

    bool unify_breaks;     // line breaks are rewritten to one style
    std::uint8_t active;   // rule classes that some enabled rule acts on
    std::uint8_t stop;     // rule classes that end a run of clusters the shortcuts write untouched
    VerbatimAscii verbatim;
    RuleCharacterScan rule_characters;  // before its first scan (each pass copies it)
    bool watch_seams;      // a normalization form is asked for
};

}  // namespace scrubix
