#include "pass/shortcuts/rule_characters.hpp"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pass/shortcuts/ascii_bytes.hpp"
#include "unicode/char_props.hpp"
#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix {

namespace {

namespace gr = unicode::grapheme_rules;

constexpr std::uint16_t kPrependBit = 0x100;
constexpr std::uint16_t kMixedBit = 0x200;  // the pair leads code points of different classes
constexpr unsigned kLookBack = 32;  // code points the boundary search steps back at most

// Per lead byte (0xC0..0xFF) and the six payload bits of the byte after it: the rule classes of
// every code point that pair leads, and kPrependBit when one of them is Prepend; kMixedBit when
// they differ (then the code point itself is asked).
using PrefixTable = std::array<std::uint16_t, 64 * 64>;

// The pair a code point's UTF-8 form starts with, as an index of the prefix table.
constexpr unsigned pair_index(char32_t c) noexcept {
    if (c < 0x800) return ((0xC0 | (c >> 6)) - 0xC0) << 6 | (c & 0x3F);
    if (c < 0x10000) return ((0xE0 | (c >> 12)) - 0xC0) << 6 | ((c >> 6) & 0x3F);
    return ((0xF0 | (c >> 18)) - 0xC0) << 6 | ((c >> 12) & 0x3F);
}

// Per 64 values of a pool of table blocks: what `value_of` gives for them together (or-ed),
// and kMixedBit when they differ.
template <std::size_t N, class Value, class ValueOf>
constexpr auto summarize_by_64(const Value (&pool)[N], ValueOf&& value_of) {
    std::array<std::uint16_t, N / 64> sums{};
    for (std::size_t at = 0; at < N; ++at) {
        const std::uint16_t v = value_of(pool[at]);
        std::uint16_t& sum = sums[at >> 6];
        if ((at & 63) == 0) sum = v;
        else if ((sum & ~kMixedBit) != v) sum |= v | kMixedBit;
    }
    return sums;
}

constexpr PrefixTable build_prefix_table() {
    // A pair of a longer sequence covers whole aligned groups of 64 code points (one for
    // three-byte sequences, 64 for four-byte ones), and both tables' blocks are made of such
    // groups: those pairs are built from summaries of the 64-value groups of the two pools.
    using unicode::char_data::CharPropsTable;
    using unicode::grapheme_rules::GraphemeTable;
    static_assert(unicode::char_data::kCharPropsShift >= 6 && unicode::grapheme_data::kGraphemeShift >= 6);
    constexpr auto classes = summarize_by_64(unicode::char_data::kCharPropsBlocks, [](std::uint16_t word) {
        return std::uint16_t(word & unicode::char_data::kPassClassMask);
    });
    constexpr auto prepend = summarize_by_64(unicode::grapheme_data::kGraphemeBlocks, [](gr::Props p) {
        return gr::gcb_of(p) == gr::kGcbPrepend ? kPrependBit : std::uint16_t(0);
    });
    // (Plain arrays: the compilers' step limits for constant evaluation count every call.)
    std::uint16_t pairs[64 * 64] = {};
    bool seen[64 * 64] = {};
    const std::uint16_t* const class_sums = classes.data();
    const std::uint16_t* const prepend_sums = prepend.data();
    // A two-byte pair is one code point.
    for (char32_t c = 0x80; c < 0x800; ++c)
        pairs[pair_index(c)] = (CharPropsTable::at(c) & unicode::char_data::kPassClassMask) |
                               (gr::gcb_of(GraphemeTable::at(c)) == gr::kGcbPrepend ? kPrependBit : 0);
    for (char32_t group = 0x800; group < 0x110000; group += 64) {
        if (group >= 0xD800 && group < 0xE000) continue;
        const std::uint16_t v = class_sums[CharPropsTable::slot(group) >> 6] | prepend_sums[GraphemeTable::slot(group) >> 6];
        const unsigned at = pair_index(group);
        pairs[at] = !seen[at] ? v : ((pairs[at] ^ v) & ~kMixedBit) != 0 ? pairs[at] | v | kMixedBit : pairs[at] | v;
        seen[at] = true;
    }
    PrefixTable t{};
    for (unsigned at = 0; at < 64 * 64; ++at) t[at] = pairs[at];
    return t;
}

// Built when the engine is compiled: a constant, shared by every pass.
constexpr PrefixTable kPrefixTable = build_prefix_table();

// Per lead byte: what the prefix table holds for any pair it leads.
constexpr std::array<std::uint16_t, 64> kLeadTable = [] {
    std::array<std::uint16_t, 64> leads{};
    for (unsigned at = 0; at < kPrefixTable.size(); ++at) leads[at >> 6] |= kPrefixTable[at];
    return leads;
}();

// The lead bytes under which nothing stops, in runs, with the one two-byte lead the vector
// scan tells apart by its second byte. Worked out for every set of stop classes when the engine
// is compiled: a pass reads its set's entry, which costs nothing per text.
struct ScanPlan {
    std::array<RuleCharacterScan::LeadRun, 3> clear_runs{};
    RuleCharacterScan::StopPair stop_pair{};
};

constexpr ScanPlan scan_plan_for(std::uint16_t stop_mask) {
    using LeadRun = RuleCharacterScan::LeadRun;
    ScanPlan plan;
    std::uint64_t clear = 0;
    for (unsigned lead = 0xC2; lead < 0xF5; ++lead)
        if ((kLeadTable[lead - 0xC0] & stop_mask) == 0) clear |= std::uint64_t(1) << (lead - 0xC0);
    // The first two-byte lead (Latin first) under which a single code point stops, between two
    // clear leads: the vector scan tells that one by its second byte, and the runs below pass
    // through its lead. (At the end of a run it would cost more than it saves.)
    const auto is_clear = [&](unsigned lead) { return ((clear >> (lead - 0xC0)) & 1) != 0; };
    for (unsigned lead = 0xC3; lead < 0xDF && plan.stop_pair.lead == RuleCharacterScan::kNoLead; ++lead) {
        if (is_clear(lead) || !is_clear(lead - 1) || !is_clear(lead + 1)) continue;
        unsigned stops = 0, second = 0;
        for (unsigned k = 0; k < 64; ++k)
            if ((kPrefixTable[((lead - 0xC0) << 6) | k] & stop_mask) != 0) ++stops, second = 0x80 | k;
        if (stops != 1) continue;
        plan.stop_pair = {static_cast<unsigned char>(lead), static_cast<unsigned char>(second)};
        clear |= std::uint64_t(1) << (lead - 0xC0);
    }
    // Those leads in runs; the three longest, longest first, are passed by the vector scan
    // without a look-up (Latin letters, Cyrillic, CJK ideographs, Hangul).
    for (unsigned first = 0; first < 64;) {
        if (((clear >> first) & 1) == 0) {
            ++first;
            continue;
        }
        unsigned end = first;
        while (end < 64 && ((clear >> end) & 1) != 0) ++end;
        // Into the three longest found so far, longest first.
        LeadRun run{static_cast<unsigned char>(0xC0 + first), static_cast<unsigned char>(0xC0 + end - 1)};
        const auto length = [](const LeadRun& r) { return unsigned(r.last + 1 - r.first); };
        for (LeadRun& kept : plan.clear_runs)
            if (length(run) > length(kept)) std::swap(run, kept);
        first = end;
    }
    // (Its lead outside them is asked the table as any other.)
    bool in_run = false;
    for (const LeadRun& r : plan.clear_runs)
        in_run = in_run || (plan.stop_pair.lead >= r.first && plan.stop_pair.lead <= r.last);
    if (!in_run) plan.stop_pair = {};
    return plan;
}

constexpr std::array<ScanPlan, 256> kScanPlans = [] {
    std::array<ScanPlan, 256> all{};
    for (unsigned classes = 0; classes < 256; ++classes)
        all[classes] = scan_plan_for(static_cast<std::uint16_t>(classes | kPrependBit));
    return all;
}();

}  // namespace

RuleCharacterScan::RuleCharacterScan(std::uint8_t stop_classes, bool used)
    : table_(kPrefixTable.data()),
      stop_mask_(static_cast<std::uint16_t>(stop_classes | kPrependBit)) {
    if (!used) return;
    const ScanPlan& plan = kScanPlans[stop_classes];
    std::copy(plan.clear_runs.begin(), plan.clear_runs.end(), clear_runs_);
    stop_pair_ = plan.stop_pair;
}

inline bool RuleCharacterScan::is_stop_lead(const unsigned char* at) const noexcept {
    const std::uint16_t pair = table_[(unsigned(at[0] - 0xC0) << 6) | (at[1] & 0x3Fu)];
    if ((pair & stop_mask_) == 0) return false;
    if ((pair & kMixedBit) == 0) return true;
    // (The decoder reads the sequence's own bytes only.)
    std::size_t end = 0;
    const char32_t c = utf8::decode(std::string_view(reinterpret_cast<const char*>(at), 4), end);
    return (unicode::pass_class_inline(c) & stop_mask_) != 0 ||
           ((stop_mask_ & kPrependBit) != 0 && gr::gcb_of(gr::props_of(c)) == gr::kGcbPrepend);
}

inline bool RuleCharacterScan::is_stop_at(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
    const unsigned char b = bytes[i];
    return b < 0x80 ? is_stop_ascii(bytes, i, n) : (b >= 0xC0 && is_stop_lead(bytes + i));
}

std::size_t RuleCharacterScan::next_stop(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
#if defined(__SSE2__)
    // Sixteen bytes a step: printable ASCII, line feeds, spaces before a printable or
    // non-ASCII byte and continuation bytes pass at once; each lead byte is looked up.
    const __m128i to_printable = _mm_set1_epi8(0x5F);  // 0x21..0x7E -> -128..-35
    const __m128i printable_bound = _mm_set1_epi8(-34);
    const __m128i space = _mm_set1_epi8(' ');
    const __m128i line_feed = _mm_set1_epi8('\n');
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i first_lead = _mm_set1_epi8(static_cast<char>(0xC0 ^ 0x80));
    const auto continuation = [&](__m128i flipped) {  // 0x80..0xBF
        return _mm_and_si128(_mm_cmpgt_epi8(flipped, _mm_set1_epi8(-1)), _mm_cmplt_epi8(flipped, first_lead));
    };
    __m128i run_below[3], run_above[3];
    for (int r = 0; r < 3; ++r) {
        run_below[r] = _mm_set1_epi8(static_cast<char>((clear_runs_[r].first - 1u) ^ 0x80));
        run_above[r] = _mm_set1_epi8(static_cast<char>((clear_runs_[r].last + 1u) ^ 0x80));
    }
    const bool has_pair = stop_pair_.lead != kNoLead;
    const __m128i pair_lead = _mm_set1_epi8(static_cast<char>(stop_pair_.lead));
    const __m128i pair_second = _mm_set1_epi8(static_cast<char>(stop_pair_.second));
    const auto printable_in = [&](__m128i x) {
        return _mm_cmplt_epi8(_mm_add_epi8(x, to_printable), printable_bound);
    };
    const __m128i to_printable_or_space = _mm_set1_epi8(0x60);  // 0x20..0x7E -> -128..-34
    const __m128i printable_or_space_bound = _mm_set1_epi8(-33);
    // Blocks of 64 bytes of ASCII prose: printable characters, line feeds, and spaces before
    // neither a space nor a line feed.
    const auto skip_prose = [&] {
        while (i + 65 <= n) {
            __m128i ok = _mm_set1_epi8(-1);
            std::uint64_t sp = 0, lf = 0;
            for (unsigned k = 0; k < 4; ++k) {
                const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16 * k));
                const __m128i s = _mm_cmpeq_epi8(x, space), f = _mm_cmpeq_epi8(x, line_feed);
                ok = _mm_and_si128(ok, _mm_or_si128(f, _mm_cmplt_epi8(_mm_add_epi8(x, to_printable_or_space),
                                                                      printable_or_space_bound)));
                sp |= std::uint64_t(unsigned(_mm_movemask_epi8(s))) << (16 * k);
                lf |= std::uint64_t(unsigned(_mm_movemask_epi8(f))) << (16 * k);
            }
            if (_mm_movemask_epi8(ok) != 0xFFFF) return;
            const unsigned char after = bytes[i + 64];
            const std::uint64_t after_stops = (ascii::is_printable(after) || after >= 0x80) ? 0 : 1;
            if ((sp & (((sp | lf) >> 1) | (after_stops << 63))) != 0) return;
            i += 64;
        }
    };
    unsigned ascii_blocks = 0;  // blocks in a row without a non-ASCII byte
    for (; i + 17 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
        const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 1));
        const __m128i spaces = _mm_cmpeq_epi8(x, space);
        const __m128i next_ok = _mm_or_si128(printable_in(next), _mm_cmplt_epi8(next, _mm_setzero_si128()));
        // Bytes that pass at once: printable, line feeds, spaces before a printable or
        // non-ASCII byte, continuation bytes and leads of the clear runs, except the stop
        // pair's. (Bytes flipped by 0x80 compare unsigned as signed.)
        const __m128i v = _mm_xor_si128(x, flip);
        __m128i ok = _mm_or_si128(_mm_or_si128(printable_in(x), _mm_cmpeq_epi8(x, line_feed)),
                                  _mm_or_si128(_mm_and_si128(spaces, next_ok), continuation(v)));
        for (int r = 0; r < 3; ++r)
            ok = _mm_or_si128(ok, _mm_and_si128(_mm_cmpgt_epi8(v, run_below[r]), _mm_cmplt_epi8(v, run_above[r])));
        if (has_pair)
            ok = _mm_andnot_si128(_mm_and_si128(_mm_cmpeq_epi8(x, pair_lead), _mm_cmpeq_epi8(next, pair_second)), ok);
        const unsigned pass = unsigned(_mm_movemask_epi8(ok));
        if (pass == 0xFFFF) {
            // Long stretches of ASCII prose: blocks of 64 bytes.
            if (_mm_movemask_epi8(x) == 0) {
                if (++ascii_blocks >= 2) {
                    i += 16;
                    skip_prose();
                    i -= 16;
                }
            } else {
                ascii_blocks = 0;
            }
            continue;
        }
        ascii_blocks = 0;
        // The others are lead bytes asked the table, up to the first ASCII byte that stops.
        const unsigned high = unsigned(_mm_movemask_epi8(x));
        unsigned others = ~pass & 0xFFFF;
        const unsigned ascii_stops = others & ~high;
        const unsigned at = ascii_stops == 0 ? 16 : unsigned(__builtin_ctz(ascii_stops));
        if (at < 16) others &= (1u << at) - 1;
        for (; others != 0; others &= others - 1) {
            const unsigned k = unsigned(__builtin_ctz(others));
            if (is_stop_lead(bytes + i + k)) return i + k;
        }
        if (at < 16) return i + at;
    }
#else
    // Eight bytes a step over printable ASCII: no byte below '!', none from DEL up.
    constexpr std::uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        const std::uint64_t below = (w - ones * 0x21) & ~w & highs;
        const std::uint64_t del = ((w ^ (ones * 0x7F)) - ones) & ~(w ^ (ones * 0x7F)) & highs;
        if (((w & highs) | below | del) != 0) break;
    }
#endif
    for (; i < n; ++i)
        if (is_stop_at(bytes, i, n)) return i;
    return n;
}

bool RuleCharacterScan::boundary_at(std::string_view text, std::size_t q) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    // No ASCII character joins what comes before it but after a Prepend character or CR before
    // LF, and those are stops.
    if (bytes[q] < 0x80) return true;
    std::size_t p = q - 1;
    while (p > 0 && (bytes[p] & 0xC0) == 0x80) --p;
    std::size_t at = p;
    const gr::Props prev = gr::props_of(utf8::decode(text, at));
    at = q;
    const gr::Props cur = gr::props_of(utf8::decode(text, at));
    switch (gr::pair_rules[gr::gcb_of(prev)][gr::gcb_of(cur)]) {
        case gr::PairRule::join: return false;
        case gr::PairRule::hard_break: return true;
        case gr::PairRule::undecided: break;
    }
    // The rules with longer context: regional indicator pairs (GB12/13), a pictograph after a
    // joiner (GB11), a consonant after a linker (GB9c).
    if (gr::gcb_of(prev) == gr::kGcbRegionalIndicator && gr::gcb_of(cur) == gr::kGcbRegionalIndicator) return false;
    if (gr::is_ext_pict(cur) && gr::gcb_of(prev) == gr::kGcbZWJ) return false;
    if (gr::incb_of(cur) == gr::kIncbConsonant && gr::incb_of(prev) != gr::kIncbNone) return false;
    return true;
}

std::size_t RuleCharacterScan::scan_to_copy_end(std::string_view text, std::size_t pos) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (!known_ || pos > stop_) {
        stop_ = next_stop(bytes, pos, n);
        known_ = true;
    }
    // Back from the stop to a certain boundary: the cluster of the stop may start before it (a
    // mark the rules act on joins the character before it), and a space before the boundary
    // would be held until what follows it is known.
    std::size_t q = stop_;
    for (unsigned steps = 0; q > pos && steps < kLookBack; ++steps) {
        if (bytes[q - 1] != ' ' && (q == n || boundary_at(text, q))) return q;
        do --q;
        while (q > pos && (bytes[q] & 0xC0) == 0x80);
    }
    return pos;
}

}  // namespace scrubix
