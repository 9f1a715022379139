// The keyboard-only run: text where non-ASCII characters and ASCII ones mix, taken with the
// outcomes the filter remembers. A cluster of one code point that no rule touches gets the
// outcome remembered for it (written, spelled or dropped); one some rule acts on goes through
// the rules on the way; printable ASCII and single spaces before non-ASCII characters are
// written or held, and ASCII before ASCII goes to the ASCII shortcuts without leaving the run.
// A row of plain drops is counted at once (noting a drop twice changes the whitespace run no
// more than once), and spelled characters are counted at the end of the run. At a letter
// dropped or written whole, the block loop (keyboard_blocks.hpp) takes over for as long as it
// can; the run goes on from where it stopped.
//
// Where a cluster ends is decided from the grapheme properties kept with each entry: a code
// point known to start a cluster is one alone when the pair rules say so for it and the next
// code point (most letters of every script and every ideograph); only a longer cluster hands
// back to the loop and its segmenter.
//
// `Loop` is the cluster loop (pass/cluster_loop.hpp); the run uses output(), memory(),
// stop_classes(), clean_single(cluster, c, classes) and what take_ascii uses. It returns where
// the loop takes over (`pos` when at once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pass/keyboard_only_filter.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "pass/shortcuts/keyboard_blocks.hpp"
#include "pass/shortcuts/remembered_take.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"
#include "records/stats.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace remembered_runs_detail {

// The length of the UTF-8 sequence a lead byte of two to four bytes starts, without a branch
// (the next code point is as often Cyrillic as CJK in mixed text).
constexpr std::size_t lead_length(unsigned char lead) noexcept {
    return 2 + std::size_t(lead >= 0xE0) + std::size_t(lead >= 0xF0);
}

// The tight loop below runs while this many bytes are left (the code point, a space and the
// next code point read without a bound check).
inline constexpr std::size_t kTightMargin = 9;

// Whether the tight loop may start: the code point after the one at hand (past a space) is
// of two or three bytes.
inline bool starts_tight_loop(const unsigned char* after) noexcept {
    const unsigned char lead = after[after[0] == ' '];
    return lead >= 0xC0 && lead < 0xF0;
}

// Whether the block loop starts at a code point of lead byte `lead` and entry `entry`: one of
// two or three bytes dropped or written whole.
template <class Entry>
bool starts_blocks(unsigned char lead, const Entry& entry) noexcept {
    const unsigned take = entry.traits & Entry::kTakeMask;
    return lead < 0xF0 && (take == kDrop || take == kWrite);
}

// What a run has taken and not yet counted. A row of plain drops is counted at once, and
// noting a drop twice changes the whitespace run no more than once.
struct RunCounts {
    std::uint64_t dropped = 0;   // characters of plain drops not yet counted or noted
    std::uint64_t absorbed = 0;  // characters of plain drops noted already, not yet counted
    std::uint64_t spelled = 0;   // characters spelled, not yet counted

    // Counts the drops taken (before anything else is written or held).
    template <class Output>
    [[gnu::always_inline]] void count_drops(Output& output) {
        if ((dropped | absorbed) == 0) return;
        output.tally.add(&CleaningStats::non_keyboard_removed, dropped + absorbed);
        if (dropped != 0) output.note_drop();
        dropped = absorbed = 0;
    }
    // A space that is a cluster alone.
    template <class Output>
    [[gnu::always_inline]] void hold_space(Output& output) {
        if (dropped != 0 && output.run().holds_lone_space()) {
            // Noting a drop and holding a space leave the run as it is: only count.
            absorbed += dropped;
            dropped = 0;
        } else {
            count_drops(output);
            output.hold(' ');
        }
    }
    // A cluster written as `text`, `transliterated` of its characters spelled.
    template <class Output>
    [[gnu::always_inline]] void write(Output& output, std::string_view text, std::uint64_t transliterated) {
        count_drops(output);
        spelled += transliterated;
        output.emit(text);
    }
    // The end of the run.
    template <class Output>
    [[gnu::always_inline]] void settle(Output& output) {
        count_drops(output);
        if (spelled != 0) output.tally.add(&CleaningStats::non_keyboard_transliterated, spelled);
        spelled = 0;
    }
};

// The common case of the run with pages, in a loop of its own: code points of two or three
// bytes with single spaces between them, each a cluster alone, dropped or written. It starts
// at `pos`, the code point of `entry` (of `length` bytes), and returns where it stopped, with
// `entry` and `length` those of the code point there, which it left to the run.
template <class Output, class Memory, class Entry>
[[gnu::always_inline]] inline std::size_t take_tight(Output& output, RunCounts& counts, Memory& memory, const unsigned char* bytes,
                                                     std::size_t n, std::size_t pos, Entry*& entry, std::size_t& length) {
    Entry* at_entry = entry;
    std::size_t at_length = length;
    while (n - pos >= kTightMargin) {
        const std::uint8_t traits = at_entry->traits;
        const auto take = static_cast<Take>(traits & Entry::kTakeMask);
        if ((take != kDrop && take != kWrite) || (traits & Entry::kPlain) == 0) break;
        const std::size_t end = pos + at_length;
        const bool space = bytes[end] == ' ';
        const std::size_t at = end + space;
        const unsigned char lead = bytes[at];
        if (lead < 0xC0 || lead >= 0xF0) break;
        const std::size_t next_length = lead_length(lead);
        Entry* next = &memory.template code_point_at<true>(bytes + at, next_length);
        if ((next->traits & Entry::kJoins) != 0) break;
        if (take == kDrop) {
            ++counts.dropped;
        } else {
            counts.write(output, at_entry->outcome.written(), at_entry->outcome.transliterated);
        }
        if (space) counts.hold_space(output);
        pos = at;
        at_entry = next;
        at_length = next_length;
    }
    entry = at_entry;
    length = at_length;
    return pos;
}

}  // namespace remembered_runs_detail

// The run, with the memory's pages (`kPaged`) or without.
template <bool kPaged, class Loop>
std::size_t take_remembered_run(Loop& loop, std::string_view text, std::size_t pos) {
    namespace detail = remembered_runs_detail;
    namespace gr = unicode::grapheme_rules;
    using Entry = KeyboardOnlyFilter::Memory::CodePoint;
    auto& output = loop.output();
    auto& memory = loop.memory();
    const std::uint8_t stop = loop.stop_classes();
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    detail::RunCounts counts;
    // The entry of the non-ASCII code point at `pos` once looked up (with the one before it).
    Entry* entry = nullptr;
    // Where the block loop may start again (not where it just stopped).
    std::size_t blocks_from = pos;
    while (pos < n) {
        const unsigned char b = bytes[pos];
        if (b < 0x80) {
            const std::size_t at = pos + 1;
            if (at == n || bytes[at] < 0x80) {
                counts.count_drops(output);
                const std::size_t end = take_ascii_call(loop, text, pos);
                if (end == pos) break;
                pos = end;
                continue;
            }
            // A printable character or a space is a cluster alone unless what follows joins it.
            if (b != ' ' && !ascii::is_printable(b)) break;
            const std::size_t length = detail::lead_length(bytes[at]);
            if (length > n - at) break;
            entry = &memory.template code_point_at<kPaged>(bytes + at, length);
            if ((entry->traits & Entry::kJoins) != 0) break;
            if (b == ' ') {
                counts.hold_space(output);
            } else {
                counts.count_drops(output);
                output.emit(text.substr(pos, 1));
            }
            pos = at;
            continue;
        }
        std::size_t length = detail::lead_length(b);
        if (entry == nullptr) {
            if (length > n - pos) break;
            entry = &memory.template code_point_at<kPaged>(bytes + pos, length);
        }
        if constexpr (kPaged) {
            // Text of letters the block loop takes (not text where only rule characters
            // interrupt the ASCII, which the ASCII shortcut copies better).
            if (pos >= blocks_from && detail::starts_blocks(b, *entry)) {
                counts.count_drops(output);
                const std::size_t end = take_keyboard_blocks(loop, text, pos);
                blocks_from = end + 1;
                if (end != pos) {
                    pos = end;
                    entry = nullptr;
                    continue;
                }
            }
            if (n - pos >= detail::kTightMargin && detail::starts_tight_loop(bytes + pos + length)) {
                pos = detail::take_tight(output, counts, memory, bytes, n, pos, entry, length);
            }
        }
        // The cluster is the code point alone when the one after it does not join it.
        const std::size_t end = pos + length;
        Entry* next = nullptr;
        if (end < n) {
            const unsigned char after = bytes[end];
            if (after < 0x80) {
                if ((entry->traits & Entry::kPlain) == 0 && gr::gcb_of(entry->props) == gr::kGcbPrepend) break;
            } else {
                const std::size_t next_length = detail::lead_length(after);
                if (next_length > n - end) break;
                // (The entry is read before the next lookup: a hashed one may move.)
                const char32_t c = entry->code_point;
                const std::uint8_t traits = entry->traits;
                const auto props = entry->props;
                next = &memory.template code_point_at<kPaged>(bytes + end, next_length);
                if (!Entry::ends_before(traits, props, *next)) break;
                // (A hashed entry may have moved, and may move again.)
                if (memory.template moves<kPaged>(length) && entry->code_point != c) entry = &memory.code_point(c);
                if (memory.template moves<kPaged>(next_length)) next = nullptr;
            }
        }
        auto take = static_cast<detail::Take>(entry->traits & Entry::kTakeMask);
        if (take == detail::kUnknown && (take = detail::take_of(*entry, stop)) == detail::kUnknown) break;
        switch (take) {
            case detail::kDrop:
                ++counts.dropped;
                break;
            case detail::kWrite:
                counts.write(output, entry->outcome.written(), entry->outcome.transliterated);
                break;
            case detail::kApply:
                counts.count_drops(output);
                KeyboardOnlyFilter::apply(output, entry->outcome, std::string_view(text.data() + pos, length));
                break;
            default:
                // A lone code point some rule acts on goes through the rules here and now.
                counts.count_drops(output);
                loop.clean_single(std::string_view(text.data() + pos, length), entry->code_point, entry->classes);
                break;
        }
        pos = end;
        entry = next;
    }
    counts.settle(output);
    return pos;
}

template <class Loop>
std::size_t take_remembered_run(Loop& loop, std::string_view text, std::size_t pos) {
    return loop.memory().paged() ? take_remembered_run<true>(loop, text, pos)
                                 : take_remembered_run<false>(loop, text, pos);
}

}  // namespace scrubix
