// Extended grapheme cluster boundaries (UAX #29), scanning forward from a
// cluster start. The rules are labelled where they are applied.
#include "unicode/grapheme.hpp"

#include <cstdint>

#include "unicode/grapheme_rules.hpp"
#include "unicode/utf8.hpp"

namespace scrubix::unicode {

namespace {

using namespace grapheme_rules;

// The left context of the longer rules, gathered from the start of the cluster. Since the scan
// always starts at a cluster boundary, no context from before the cluster can matter.
class LeftContext {
public:
    // Whether the boundary before a character with properties `cur`, following one with `prev`,
    // is joined.
    bool joins(Props prev, Props cur) const noexcept {
        switch (pair_rules[gcb_of(prev)][gcb_of(cur)]) {
            case PairRule::join: return true;
            case PairRule::hard_break: return false;
            case PairRule::undecided: break;
        }
        // GB9c: Consonant [Extend Linker]* Linker [Extend Linker]* × Consonant
        if (incb_of(cur) == kIncbConsonant && conjunct_ == Conjunct::linked) return true;
        // GB11: ExtPict Extend* ZWJ × ExtPict
        if (is_ext_pict(cur) && pict_ == Pict::after_zwj) return true;
        // GB12, GB13: an odd run of regional indicators before × RI
        if (gcb_of(cur) == kGcbRegionalIndicator && odd_ri_run_) return true;
        return false;  // GB999
    }

    // Takes a character that joined the cluster (or started it) into the context.
    void push(Props cur) noexcept {
        switch (incb_of(cur)) {
            case kIncbConsonant: conjunct_ = Conjunct::consonant; break;
            case kIncbLinker:
                if (conjunct_ != Conjunct::none) conjunct_ = Conjunct::linked;
                break;
            case kIncbExtend: break;  // keeps whatever run it extends
            default: conjunct_ = Conjunct::none; break;
        }
        const unsigned g = gcb_of(cur);
        if (is_ext_pict(cur))
            pict_ = Pict::pict;
        else if (pict_ == Pict::pict && g == kGcbExtend)
            pict_ = Pict::pict;
        else if (pict_ == Pict::pict && g == kGcbZWJ)
            pict_ = Pict::after_zwj;
        else
            pict_ = Pict::none;
        odd_ri_run_ = g == kGcbRegionalIndicator && !odd_ri_run_;
    }

private:
    // GB9c progress: a consonant, then Extend/Linker characters (`linked` once one is a Linker).
    enum class Conjunct : std::uint8_t { none, consonant, linked };
    // GB11 progress: an ExtPict followed by Extend characters, then a ZWJ.
    enum class Pict : std::uint8_t { none, pict, after_zwj };

    Conjunct conjunct_ = Conjunct::none;
    Pict pict_ = Pict::none;
    bool odd_ri_run_ = false;
};

// Length of the sequence `utf8::decode` reads at a lead byte.
constexpr std::size_t decoded_length(unsigned char lead) noexcept {
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

}  // namespace

std::size_t next_cluster_end(std::string_view text, std::size_t pos) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    if (pos >= n) return n;

    // ASCII followed by ASCII always breaks, except CR LF (GB3): no table needed.
    if (bytes[pos] < 0x80) {
        if (pos + 1 == n) return n;
        if (bytes[pos + 1] < 0x80) return pos + 1 + (bytes[pos] == '\r' && bytes[pos + 1] == '\n');
    }

    // The text is valid UTF-8; the length checks only keep a truncated tail from being read
    // past the end (it is then counted into the current cluster).
    if (decoded_length(bytes[pos]) > n - pos) return n;
    std::size_t i = pos;
    Props prev = props_of(utf8::decode(text, i));
    // Most clusters are one code point: decide those from the pair alone.
    if (i == n) return n;
    if (bytes[i] < 0x80) {
        // Before ASCII only a Prepend character joins (GB9b), and not before a control (GB5).
        if (gcb_of(prev) != kGcbPrepend) return i;
    } else if (decoded_length(bytes[i]) <= n - i) {
        std::size_t next = i;
        if (ends_after_first(prev, props_of(utf8::decode(text, next)))) return i;
    }
    LeftContext context;
    context.push(prev);
    while (i < n) {
        if (decoded_length(bytes[i]) > n - i) return n;
        std::size_t next = i;
        const Props cur = props_of(utf8::decode(text, next));
        if (!context.joins(prev, cur)) break;
        context.push(cur);
        prev = cur;
        i = next;
    }
    return i;
}

}  // namespace scrubix::unicode
