// Normalization forms NFD, NFC, NFKD and NFKC.
//
// The text is scanned with the quick check. Stretches that are already in the requested form
// (every character "yes", combining classes in order) are copied untouched; runs of ASCII and
// of other characters that need no lookup are skipped sixteen bytes at a time. Where the check
// fails, the text is normalized from the last boundary before the failure to the next boundary
// after it: decomposition, canonical ordering, and for NFC/NFKC canonical composition. A
// boundary is a point that no normalization step reaches across, so a region can be normalized
// on its own and the scratch buffer only ever holds one region.
#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "normalize.hpp"
#include "normalize_data.hpp"
#include "normalize_shortcuts.hpp"
#include "utf8.hpp"

namespace scrubix::unicode {

namespace {

using namespace normalization;

// What a lead byte tells of the characters it starts.
enum LeadKind : std::uint8_t {
    kGeneralLead,   // nothing: the character is looked up
    kStarterLead,   // every one is a starter that passes the quick check
    kShortcutLead,  // a per-character shortcut applies (two-byte characters, Hangul syllables)
    kCheckedLead,   // a shortcut lead of which the block passes most characters by the next byte
};
using LeadTable = std::array<LeadKind, 256>;

// A range of lead bytes, first to last (empty when first > last).
struct LeadRange {
    unsigned char first = 1, last = 0;
};

struct Form {
    NormalizationForm mode;
    std::uint8_t not_yes;  // quick-check flags meaning "no" or "maybe"
    std::uint8_t no;       // quick-check flags meaning "no"
    bool compat;
    bool compose;
    char32_t yes_below;    // code points below this are starters that pass the quick check
    unsigned char trivial_below;  // bytes below this belong to such code points
    const LeadTable* lead_kinds;
    const StarterMasks* starter_masks;  // such starters by their first two bytes
    const PunctuationMasks* punctuation_masks;  // and those under lead E2 by their three
    // The decomposing forms: two-byte decompositions written as they are (else null).
    const DirectDecompositions* direct;
    // Runs of such lead bytes that the vector scan passes over in blocks: among the two-byte
    // leads the one of Latin-1 letters and the one of Cyrillic (or the longest near each),
    // among the three-byte leads the two longest (CJK ideographs, Hangul syllables).
    LeadRange starters2, starters2b, starters3, starters3b;
    // Two leads passed with a look at the next byte because a few of their characters stop the
    // check: for the decomposing forms the basic Cyrillic letters (й, ё and a few more stop),
    // for NFKC Latin Extended-A (Ĳ, ĳ, Ŀ, ŀ, ŉ and ſ stop).
    CheckedPair pair;
};

// The kinds of the lead bytes from the masks of a form's starters and, for a decomposing form,
// its ready decompositions. Starter leads: two- and three-byte sequences under which every code
// point is a starter that passes the quick check (CJK ideographs, Hangul syllables, Cyrillic and
// more), skipped by the block. Shortcut leads: the other two-byte leads that start such
// starters or ready decompositions, and for the decomposing forms the leads of Hangul syllables.
// (Three-byte starters under other leads pass inside the block by their masks; a character
// met outside the block under such a lead is looked up, which costs typographic punctuation less
// than one more test would.)
constexpr CheckedPair checked_pair_of(const StarterMasks& masks, const DirectDecompositions* direct) noexcept {
    // (Two stops keep the decomposing forms' block short; Latin Extended-A under NFKC needs six.)
    return direct ? checked_pair(masks, 0xD0, 2) : checked_pair(masks, 0xC4, CheckedPair::kMaxStops);
}

constexpr LeadTable lead_kinds(const StarterMasks& masks, const DirectDecompositions* direct) {
    const unsigned char checked = checked_pair_of(masks, direct).lead;
    LeadTable leads{};
    for (unsigned lead = 0xC2; lead < 0xF0; ++lead) {
        bool shortcut = direct && lead >= 0xEA && lead <= 0xED;
        if (lead < 0xE0) {
            shortcut = masks[lead] != 0;
            for (char32_t c = char32_t(lead & 0x1F) << 6; direct && !shortcut && c < char32_t((lead & 0x1F) + 1) << 6; ++c)
                shortcut = (*direct)[c - 0x80].size != 0;
        }
        leads[lead] = masks[lead] == ~std::uint64_t(0) ? kStarterLead
                      : !shortcut                      ? kGeneralLead
                      : (lead & 0xFE) == checked       ? kCheckedLead
                                                       : kShortcutLead;
    }
    return leads;
}

// The smallest byte that may lead a character at or above `yes_below`. Every byte below it is
// ASCII, a continuation byte, or the lead of a character below `yes_below`.
constexpr unsigned char first_nontrivial_byte(char32_t yes_below) noexcept {
    for (unsigned lead = 0xC2; lead < 0xE0; ++lead)
        if (((lead & 0x1Fu) << 6) + 0x3F >= yes_below) return static_cast<unsigned char>(lead);
    return 0xE0;
}


// The longest run of starter leads among the lead bytes `from` to `to`.
constexpr LeadRange longest_run(const LeadTable& leads, unsigned from, unsigned to) noexcept {
    LeadRange best;
    for (unsigned first = from; first <= to; ++first) {
        unsigned last = first;
        while (last <= to && leads[last] == kStarterLead) ++last;
        if (last > first && last - first > unsigned(best.last + 1 - best.first))
            best = {static_cast<unsigned char>(first), static_cast<unsigned char>(last - 1)};
    }
    return best;
}

// The run of starter leads through `lead` within `from` to `to`, or the longest when `lead` is
// no starter lead.
constexpr LeadRange run_through(const LeadTable& leads, unsigned lead, unsigned from, unsigned to) noexcept {
    if (leads[lead] != kStarterLead) return longest_run(leads, from, to);
    unsigned first = lead, last = lead;
    while (first > from && leads[first - 1] == kStarterLead) --first;
    while (last < to && leads[last + 1] == kStarterLead) ++last;
    return {static_cast<unsigned char>(first), static_cast<unsigned char>(last)};
}

// The longest run of starter leads among `from` to `to` outside `taken`.
constexpr LeadRange next_longest_run(const LeadTable& leads, unsigned from, unsigned to, LeadRange taken) noexcept {
    if (taken.first > taken.last) return taken;
    const LeadRange before = longest_run(leads, from, taken.first - 1u);
    const LeadRange after = longest_run(leads, taken.last + 1u, to);
    return before.last + 1 - before.first >= after.last + 1 - after.first ? before : after;
}

constexpr StarterMasks kNfdStarterMasks = starter_masks(kNfdQcNo);
constexpr StarterMasks kNfcStarterMasks = starter_masks(kNfcQcNo | kNfcQcMaybe);
constexpr StarterMasks kNfkdStarterMasks = starter_masks(kNfkdQcNo);
constexpr StarterMasks kNfkcStarterMasks = starter_masks(kNfkcQcNo | kNfkcQcMaybe);
constexpr StarterMasks kNoStarterMasks{};
constexpr PunctuationMasks kNfdPunctuation = punctuation_masks(kNfdQcNo);
constexpr PunctuationMasks kNfcPunctuation = punctuation_masks(kNfcQcNo | kNfcQcMaybe);
constexpr PunctuationMasks kNfkdPunctuation = punctuation_masks(kNfkdQcNo);
constexpr PunctuationMasks kNfkcPunctuation = punctuation_masks(kNfkcQcNo | kNfkcQcMaybe);
constexpr PunctuationMasks kNoPunctuation{};
// Curly quotes pass every form; the narrow no-break space stops the compatibility forms only.
constexpr unsigned char kLeftDoubleQuote[] = {0xE2, 0x80, 0x9C}, kNarrowNoBreakSpace[] = {0xE2, 0x80, 0xAF};
static_assert(is_punctuation_starter_in(kNfkcPunctuation, kLeftDoubleQuote) &&
              is_punctuation_starter_in(kNfdPunctuation, kLeftDoubleQuote) &&
              !is_punctuation_starter_in(kNfkcPunctuation, kNarrowNoBreakSpace) &&
              is_punctuation_starter_in(kNfcPunctuation, kNarrowNoBreakSpace));
static_assert(written_as_itself_when_passing(kCanonicalDirect, kNfdStarterMasks) &&
              written_as_itself_when_passing(kCompatibilityDirect, kNfkdStarterMasks));

constexpr LeadTable kNfdLeads = lead_kinds(kNfdStarterMasks, &kCanonicalDirect);
constexpr LeadTable kNfcLeads = lead_kinds(kNfcStarterMasks, nullptr);
constexpr LeadTable kNfkdLeads = lead_kinds(kNfkdStarterMasks, &kCompatibilityDirect);
constexpr LeadTable kNfkcLeads = lead_kinds(kNfkcStarterMasks, nullptr);
constexpr LeadTable kNoLeads{};

constexpr Form make_form(NormalizationForm mode, std::uint8_t not_yes, std::uint8_t no, bool compat, bool compose,
                         char32_t yes_below, const LeadTable& leads, const StarterMasks& masks,
                         const PunctuationMasks& punctuation) noexcept {
    const DirectDecompositions* direct =
        compose || not_yes == 0 ? nullptr : compat ? &kCompatibilityDirect : &kCanonicalDirect;
    const CheckedPair pair = not_yes == 0 ? CheckedPair{} : checked_pair_of(masks, direct);
    return {mode, not_yes, no, compat, compose, yes_below, first_nontrivial_byte(yes_below), &leads, &masks,
            &punctuation, direct, run_through(leads, 0xC3, 0xC2, 0xCF), run_through(leads, 0xD0, 0xD0, 0xDF), longest_run(leads, 0xE0, 0xEF),
            next_longest_run(leads, 0xE0, 0xEF, longest_run(leads, 0xE0, 0xEF)),
            pair};
}

constexpr Form form_of(NormalizationForm mode) noexcept {
    switch (mode) {
        case NormalizationForm::NFD:
            return make_form(mode, kNfdQcNo, kNfdQcNo, false, false, kNfdYesBelow, kNfdLeads,
                             kNfdStarterMasks, kNfdPunctuation);
        case NormalizationForm::NFC:
            return make_form(mode, kNfcQcNo | kNfcQcMaybe, kNfcQcNo, false, true, kNfcYesBelow, kNfcLeads,
                             kNfcStarterMasks, kNfcPunctuation);
        case NormalizationForm::NFKD:
            return make_form(mode, kNfkdQcNo, kNfkdQcNo, true, false, kNfkdYesBelow, kNfkdLeads,
                             kNfkdStarterMasks, kNfkdPunctuation);
        case NormalizationForm::NFKC:
            return make_form(mode, kNfkcQcNo | kNfkcQcMaybe, kNfkcQcNo, true, true, kNfkcYesBelow,
                             kNfkcLeads, kNfkcStarterMasks, kNfkcPunctuation);
        case NormalizationForm::None: break;
    }
    return make_form(mode, 0, 0, false, false, 0x80, kNoLeads, kNoStarterMasks, kNoPunctuation);
}

// Every form's parameters, built once at compile time (a text's scan starts from them).
constexpr std::array<Form, 5> kForms = {form_of(NormalizationForm::None), form_of(NormalizationForm::NFD),
                                        form_of(NormalizationForm::NFC), form_of(NormalizationForm::NFKD),
                                        form_of(NormalizationForm::NFKC)};
static_assert(kForms[std::size_t(NormalizationForm::NFKD)].mode == NormalizationForm::NFKD);

constexpr const Form& form_for(NormalizationForm mode) noexcept { return kForms[std::size_t(mode)]; }

// CJK ideographs are starters that pass every quick check.
static_assert(kNfdLeads[0xE4] == kStarterLead && kNfcLeads[0xE9] == kStarterLead &&
              kNfkcLeads[0xE5] == kStarterLead);
// The composing forms pass every basic Cyrillic letter by its lead byte alone; the decomposing
// forms stop only at й/Й, whose offsets lie inside the window, and at the rarer letters outside.
static_assert(kNfcLeads[0xD0] == kStarterLead && kNfkcLeads[0xD1] == kStarterLead);
static_assert(form_of(NormalizationForm::NFD).pair.lead == 0xD0 && form_of(NormalizationForm::NFD).pair.lo == 0x0F &&
              form_of(NormalizationForm::NFD).pair.hi == 0x4F && form_of(NormalizationForm::NFD).pair.stops[0] == 0x19 &&
              form_of(NormalizationForm::NFKD).pair.stops[1] == 0x39);
// NFC passes Latin Extended-A by its leads; NFKC by the window, the whole of it, with Ĳ, ĳ, Ŀ,
// ŀ, ŉ and ſ as stops.
static_assert(kNfcLeads[0xC5] == kStarterLead && form_of(NormalizationForm::NFC).pair.lead == 0);
static_assert(form_of(NormalizationForm::NFKC).pair.lead == 0xC4 && form_of(NormalizationForm::NFKC).pair.lo == 0 &&
              form_of(NormalizationForm::NFKC).pair.hi == 0x7F && form_of(NormalizationForm::NFKC).pair.count == 6 &&
              form_of(NormalizationForm::NFKC).pair.stops[5] == 0x7F);
// Hangul syllables are composed: starters for NFC, not for NFD.
static_assert(kNfcLeads[0xEB] == kStarterLead && kNfdLeads[0xEB] == kShortcutLead);
static_assert(kNfdLeads[0xD1] == kCheckedLead && kNfkdLeads[0xD0] == kCheckedLead && kNfkcLeads[0xC5] == kCheckedLead);

// Whether no step of `form` reaches across the point just before `c`: its decomposition starts
// with a starter which, for the composed forms, cannot combine with what precedes it.
bool boundary_before(char32_t c, Record r, const Form& form) noexcept {
    if (c < form.yes_below) return true;
    if (combining_class(r) != 0) return false;
    if (!(flags(r) & form.not_yes)) return true;
    const std::uint16_t e = decomposition_entry(r);
    if (e == 0) return hangul::is_syllable(c);  // else a character that combines backwards
    const Record lead = record_of(decomposition(e, form.compat)[0]);
    return combining_class(lead) == 0 && !(form.compose && (flags(lead) & kComposesWithPrevious));
}

// The distinct bytes that follow a lead of `pair` in its stops.
struct NextByteStops {
    unsigned char bytes[CheckedPair::kMaxStops] = {};
    unsigned count = 0;
};

constexpr NextByteStops next_byte_stops(const CheckedPair& pair) noexcept {
    NextByteStops out;
    for (unsigned k = 0; k < pair.count; ++k) {
        const auto byte = static_cast<unsigned char>(0x80 | (pair.stops[k] & 0x3F));
        bool seen = false;
        for (unsigned j = 0; j < out.count; ++j) seen = seen || out.bytes[j] == byte;
        if (!seen) out.bytes[out.count++] = byte;
    }
    return out;
}

// Where the starters that pass the quick check end, from `i` on, sixteen bytes a step: at the
// first lead byte that is neither below `form.trivial_below` nor a starter lead, or after the
// last whole block (maybe inside a character). For the decomposing forms the block passes
// ASCII, CJK and the basic Cyrillic letters (the leads of `form.pair` with the byte after them
// in the window), and asks the tables about the other two-byte starters; NFKC passes Latin
// Extended-A the same way besides its runs of starter leads, but only once it has met one of
// its leads (`kWithPair` false: the scan stops at the block of the first, with `met_pair`), so
// that text in other scripts does not pay for the look at the next byte. Without the vector
// unit, `i`. One copy per form, so that its bounds are constants.
template <NormalizationForm kMode, bool kWithPair>
std::size_t scan_starter_blocks(const char* s, std::size_t i, std::size_t n, bool& met_pair) noexcept {
    constexpr const Form& form = form_for(kMode);
    constexpr bool kPair = kWithPair && form.pair.lead != 0;
    constexpr bool kRuns = form.direct == nullptr;
#if defined(__SSE2__)
    // A byte is in [first, last] when, less first + 0x80, it is among the len smallest signed
    // bytes (an empty range: none).
    const auto in = [](__m128i bytes, unsigned first, unsigned last) {
        const __m128i shifted = _mm_sub_epi8(bytes, _mm_set1_epi8(char(first + 0x80)));
        return _mm_cmplt_epi8(shifted, _mm_set1_epi8(char(last + 1 - first - 0x80)));
    };
    const auto in_run = [&](__m128i bytes, LeadRange r) {
        return r.first > r.last ? _mm_setzero_si128() : in(bytes, r.first, r.last);
    };
    constexpr const CheckedPair& pair = form.pair;
    // The pair's check reads the byte after the block.
    const std::size_t readable = kPair ? 17 : 16;
    while (i + readable <= n) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        __m128i ok = _mm_or_si128(in(bytes, 0, form.trivial_below - 1u), in_run(bytes, form.starters3));
        if constexpr (kRuns) {
            ok = _mm_or_si128(ok, _mm_or_si128(in_run(bytes, form.starters2), in_run(bytes, form.starters2b)));
            ok = _mm_or_si128(ok, in_run(bytes, form.starters3b));
        }
        if constexpr (kPair) {
            const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + 1));
            __m128i passes;
            if constexpr (pair.lo == 0 && pair.hi == 0x7F) {
                // The window is all of the pair: a stop is told by the byte after either lead
                // alone (the few letters that stops needlessly are asked the masks).
                constexpr NextByteStops kStops = next_byte_stops(pair);
                __m128i stop = _mm_setzero_si128();
                for (unsigned k = 0; k < kStops.count; ++k)
                    stop = _mm_or_si128(stop, _mm_cmpeq_epi8(next, _mm_set1_epi8(char(kStops.bytes[k]))));
                passes = _mm_andnot_si128(stop, _mm_set1_epi8(char(0xFF)));
            } else {
                // The offsets (0 to 127) compare as signed bytes.
                const __m128i odd = _mm_cmpeq_epi8(bytes, _mm_set1_epi8(char(pair.lead + 1)));
                const __m128i t = _mm_or_si128(_mm_and_si128(next, _mm_set1_epi8(0x3F)), _mm_and_si128(odd, _mm_set1_epi8(0x40)));
                passes = in(t, pair.lo, pair.hi);
                for (unsigned k = 0; k < pair.count; ++k)
                    passes = _mm_andnot_si128(_mm_cmpeq_epi8(t, _mm_set1_epi8(char(pair.stops[k]))), passes);
            }
            ok = _mm_or_si128(ok, _mm_and_si128(passes, in(bytes, pair.lead, pair.lead + 1u)));
        }
        unsigned other = ~unsigned(_mm_movemask_epi8(ok)) & 0xFFFF;
        // Other lead bytes are asked the tables (two-byte characters one by one); the first that
        // is no such starter ends the scan.
        for (; other != 0; other &= other - 1) {
            const std::size_t at = i + unsigned(__builtin_ctz(other));
            const auto lead = static_cast<unsigned char>(s[at]);
            if constexpr (!kWithPair && form.pair.lead != 0) {
                if ((lead & 0xFE) == form.pair.lead) {
                    met_pair = true;
                    return i;
                }
            }
            if (!is_starter_in(*form.starter_masks, lead, static_cast<unsigned char>(s[at + 1]))) return at;
        }
        i += 16;
    }
#else
    (void)s, (void)n, (void)met_pair;
#endif
    return i;
}

template <NormalizationForm kMode>
std::size_t skip_starter_blocks(const char* s, std::size_t i, std::size_t n) noexcept {
    constexpr const CheckedPair& pair = form_for(kMode).pair;
    bool met_pair = false;
    if constexpr (pair.lead != 0 && pair.lo == 0 && pair.hi == 0x7F) {
        i = scan_starter_blocks<kMode, false>(s, i, n, met_pair);
        if (!met_pair) return i;
    }
    return scan_starter_blocks<kMode, true>(s, i, n, met_pair);
}

std::size_t skip_starter_blocks(const char* s, std::size_t i, std::size_t n, const Form& form) noexcept {
    switch (form.mode) {
        case NormalizationForm::NFD: return skip_starter_blocks<NormalizationForm::NFD>(s, i, n);
        case NormalizationForm::NFC: return skip_starter_blocks<NormalizationForm::NFC>(s, i, n);
        case NormalizationForm::NFKD: return skip_starter_blocks<NormalizationForm::NFKD>(s, i, n);
        case NormalizationForm::NFKC: return skip_starter_blocks<NormalizationForm::NFKC>(s, i, n);
        case NormalizationForm::None: break;
    }
    return i;
}

// Whether no step of a decomposing form reaches across the point before `s[j]`: the end of the
// text, or a character known by its first bytes alone to be a starter whose decomposition
// starts with a starter. False when that needs a closer look.
inline bool decomposition_boundary_at(const char* s, std::size_t j, std::size_t n, const Form& form) noexcept {
    if (j >= n) return true;
    const auto lead = static_cast<unsigned char>(s[j]);
    if (lead < 0x80) return true;
    const auto next = static_cast<unsigned char>(s[j + 1]);
    // (Two-byte starters that pass are in the table as themselves.)
    if (lead < 0xE0) return (*form.direct)[(char32_t(lead & 0x1F) << 6 | (next & 0x3F)) - 0x80].size != 0;
    if (is_starter_in(*form.starter_masks, lead, next)) return true;
    std::size_t k = j;
    return lead < 0xF0 && hangul::is_syllable(utf8::decode({s, n}, k));
}

// For a decomposing form, a region of one two-byte character with a ready decomposition or of
// one Hangul syllable: writes its normalized UTF-8 to `out` (room for nine bytes) and returns
// its length, without the general steps. Else 0.
std::size_t write_directly(const Form& form, std::string_view region, char* out) noexcept {
    if (region.size() > 3) return 0;
    const auto lead = static_cast<unsigned char>(region[0]);
    if (region.size() == 2 && lead >= 0xC0 && lead < 0xE0) {
        const DirectDecomposition& d = (*form.direct)[(char32_t(lead & 0x1F) << 6 | (region[1] & 0x3F)) - 0x80];
        std::memcpy(out, d.bytes, sizeof d.bytes);
        return d.size;
    }
    std::size_t i = 0;
    const char32_t c = utf8::decode(region, i);
    return i == 3 && region.size() == 3 && hangul::is_syllable(c) ? hangul_jamo_utf8(c, out) : 0;
}

// Gathers the many short pieces of output (the short unchanged stretches between regions and
// the regions written directly) and appends them to the string a few hundred bytes at a time.
class StagedOutput {
public:
    explicit StagedOutput(std::string& out) noexcept : out_(out) {}

    // Copies `k` bytes from `p`, where `readable` (at least k) bytes may be read.
    void copy(const char* p, std::size_t k, std::size_t readable) {
        // Short stretches, the most common, by one fixed-size copy.
        if (k <= kShort && readable >= kShort && kSize - used_ >= kShort) {
            std::memcpy(buf_ + used_, p, kShort);
            used_ += k;
            return;
        }
        // Longer ones (the text between rare regions) go to the string as they are.
        if (k > kStagedAtMost || k > kSize - used_) {
            flush();
            out_.append(p, k);
            return;
        }
        std::memcpy(buf_ + used_, p, k);
        used_ += k;
    }

    // copy(), then copy_ready(d): the common short case with one check for room.
    void copy_then_ready(const char* p, std::size_t k, std::size_t readable, const DirectDecomposition& d) {
        if (k <= kShort && readable >= kShort && kSize - used_ >= kShort + sizeof d.bytes) {
            std::memcpy(buf_ + used_, p, kShort);
            used_ += k;
            std::memcpy(buf_ + used_, d.bytes, sizeof d.bytes);
            used_ += d.size;
            return;
        }
        copy(p, k, readable);
        copy_ready(d);
    }

    void copy_ready(const DirectDecomposition& d) {
        if (kSize - used_ < sizeof d.bytes) flush();
        std::memcpy(buf_ + used_, d.bytes, sizeof d.bytes);
        used_ += d.size;
    }

    // Room for `k` (at most kSize / 2) bytes, to be taken by commit().
    char* room(std::size_t k) {
        if (k > kSize - used_) flush();
        return buf_ + used_;
    }
    void commit(std::size_t k) noexcept { used_ += k; }

    // The string itself, everything staged appended to it.
    std::string& flushed() {
        flush();
        return out_;
    }

    void flush() {
        if (used_ == 0) return;
        out_.append(buf_, used_);
        used_ = 0;
    }

private:
    static constexpr std::size_t kSize = 512, kShort = 32, kStagedAtMost = 96;
    std::string& out_;
    std::size_t used_ = 0;
    char buf_[kSize];
};

struct Shortcut {
    enum What : std::uint8_t {
        kLookUp,     // the character needs its record
        kPasses,     // a starter that passes the quick check
        kOwnRegion,  // a region of its own, written directly (certainly not normalized)
    } what;
    const DirectDecomposition* ready = nullptr;  // a two-byte region's output
};

// What the lead kind's shortcut makes of the character at `i`: two-byte starters pass by their
// mask; for the decomposing forms, a two-byte character with a ready decomposition or a Hangul
// syllable is a region of its own when what follows cannot be reordered with it.
Shortcut take_shortcut(const char* s, std::size_t i, std::size_t n, const Form& form) noexcept {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0xE0) {
        const auto second = static_cast<unsigned char>(s[i + 1]);
        if (is_starter_in(*form.starter_masks, lead, second)) return {Shortcut::kPasses};
        if (!form.direct) return {Shortcut::kLookUp};
        const DirectDecomposition& d = (*form.direct)[(char32_t(lead & 0x1F) << 6 | (second & 0x3F)) - 0x80];
        if (d.size == 0 || !decomposition_boundary_at(s, i + 2, n, form)) return {Shortcut::kLookUp};
        return {Shortcut::kOwnRegion, &d};
    }
    std::size_t end = i;
    const bool own = hangul::is_syllable(utf8::decode({s, n}, end)) && decomposition_boundary_at(s, end, n, form);
    return {own ? Shortcut::kOwnRegion : Shortcut::kLookUp};
}

// Start of the character that ends just before `i` (> 0).
std::size_t previous_char_start(const char* s, std::size_t i) noexcept {
    do --i;
    while ((static_cast<unsigned char>(s[i]) & 0xC0) == 0x80);
    return i;
}

// For a decomposing form, from the boundary `j` on, where the last region ended: the
// characters that need no general step (ASCII, starters that pass, ready two-byte
// decompositions, Hangul syllables), in one tight loop. The text from `copied` up to them is
// staged, and `copied` moves past what is written. Returns the boundary where the scan goes
// on: before the first character that needs more, or before the starter just ahead of it
// (which a following mark may join).
std::size_t write_simple_run(std::string_view text, std::size_t j, const Form& form, StagedOutput& out,
                             std::size_t& copied) {
    const char* s = text.data();
    const std::size_t n = text.size();
    // (Held here: the output's writes could alias the form's fields.)
    const LeadTable& lead_kinds = *form.lead_kinds;
    const DirectDecompositions& direct = *form.direct;
    // The boundary to go back to when the character at `j` needs more: the start of the
    // starter passed just before it, or `j` itself after a written character (whose end was
    // checked to be a boundary before it was written).
    std::size_t restart = j;
    while (j < n) {
        auto lead = static_cast<unsigned char>(s[j]);
        if (lead < 0x80) {
            const std::size_t next = utf8::skip_below(s, j + 1, n);
            restart = next - 1;
            j = next;
            continue;
        }
        LeadKind kind = lead_kinds[lead];
        if (kind != kShortcutLead) {
            if (kind == kGeneralLead) return restart;
            // Starters that pass, by the block.
            std::size_t end = skip_starter_blocks(s, j, n, form);
            if (end > j) {
                while (end < n && (static_cast<unsigned char>(s[end]) & 0xC0) == 0x80) ++end;
                j = previous_char_start(s, end);
                lead = static_cast<unsigned char>(s[j]);
                kind = lead < 0x80 ? kStarterLead : lead_kinds[lead];
            }
            if (kind == kStarterLead) {
                restart = j;
                j += utf8::sequence_length(lead);
                continue;
            }
        }
        if (lead < 0xE0) {
            // Starters that pass are written as they are too: one path for every letter.
            const auto second = static_cast<unsigned char>(s[j + 1]);
            const std::size_t next = j + 2;
            const DirectDecomposition& d = direct[(char32_t(lead & 0x1F) << 6 | (second & 0x3F)) - 0x80];
            if (d.size == 0) return restart;
            if (!decomposition_boundary_at(s, next, n, form)) return j;
            out.copy_then_ready(s + copied, j - copied, n - copied, d);
            copied = restart = j = next;
            continue;
        }
        std::size_t next = j;
        const char32_t c = utf8::decode(text, next);
        if (!hangul::is_syllable(c)) return restart;
        if (!decomposition_boundary_at(s, next, n, form)) return j;
        out.copy(s + copied, j - copied, n - copied);
        out.commit(hangul_jamo_utf8(c, out.room(9)));
        copied = restart = j = next;
    }
    return j;
}

// What `on_region` returns to end the scan early.
constexpr std::size_t kStopScan = ~std::size_t(0);

// Calls `on_region(begin, end, definitely_not_normalized, ready)` for every region of `text`
// that the quick check cannot pass, in order; the regions start and end at boundaries. `ready`
// is the output of a one-character region known from the tables, or null. `on_region` returns
// where the scan goes on: `end`, or a later boundary up to which it has dealt with the text
// itself; kStopScan stops the scan, and then this returns false.
template <class OnRegion>
bool for_each_unchecked_region(std::string_view text, const Form& form, OnRegion&& on_region) {
    const char* s = text.data();
    const std::size_t n = text.size();
    std::size_t i = 0;
    std::size_t boundary = 0;
    std::uint8_t prev_ccc = 0;
    const unsigned char trivial_below = form.trivial_below;
    const char32_t yes_below = form.yes_below;
    const std::uint8_t not_yes = form.not_yes;
    const LeadTable& lead_kinds = *form.lead_kinds;
    while (i < n) {
        // Characters below yes_below: starters that pass the check.
        const auto lead = static_cast<unsigned char>(s[i]);
        if (lead < trivial_below) {
            // (A single one, such as a space between words, needs no vector scan.)
            if (i + 1 < n && static_cast<unsigned char>(s[i + 1]) >= trivial_below) {
                boundary = i++;
                prev_ccc = 0;
                continue;
            }
            i = utf8::skip_below(s, i + 1, n, trivial_below);
            boundary = previous_char_start(s, i);
            prev_ccc = 0;
            continue;
        }
        const LeadKind kind = lead_kinds[lead];
        if (kind != kGeneralLead && utf8::sequence_length(lead) <= n - i) {
            Shortcut cut{Shortcut::kPasses};
            if (kind == kStarterLead || kind == kCheckedLead) {
                // Starters that pass the check, by the block while the blocks hold nothing else.
                const std::size_t skipped = skip_starter_blocks(s, i, n, form);
                if (skipped > i) {
                    i = skipped;
                    while (i < n && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
                    boundary = previous_char_start(s, i);
                    prev_ccc = 0;
                    continue;
                }
            }
            if (kind != kStarterLead) cut = take_shortcut(s, i, n, form);
            if (cut.what != Shortcut::kLookUp) {
                const std::size_t end = i + utf8::sequence_length(lead);
                if (cut.what == Shortcut::kOwnRegion) {
                    const std::size_t resume = on_region(i, end, true, cut.ready);
                    if (resume == kStopScan) return false;
                    i = boundary = resume;
                } else {
                    boundary = i;
                    i = end;
                }
                prev_ccc = 0;
                continue;
            }
        }
        const std::size_t start = i;
        const char32_t c = utf8::decode(text, i);
        if (c < yes_below) {
            boundary = start;
            prev_ccc = 0;
            continue;
        }
        const Record r = record_of(c);
        const std::uint8_t ccc = combining_class(r);
        const bool out_of_order = ccc != 0 && ccc < prev_ccc;
        if (!(flags(r) & not_yes) && !out_of_order) {
            if (ccc == 0) boundary = start;
            prev_ccc = ccc;
            continue;
        }
        bool no = out_of_order || (flags(r) & form.no);
        if (boundary_before(c, r, form)) boundary = start;
        std::size_t end = i;
        while (end < n && static_cast<unsigned char>(s[end]) >= 0x80) {
            std::size_t next = end;
            const char32_t d = utf8::decode(text, next);
            const Record rd = d < yes_below ? 0 : record_of(d);
            if (boundary_before(d, rd, form)) break;
            no = no || (flags(rd) & form.no);
            end = next;
        }
        const std::size_t resume = on_region(boundary, end, no, nullptr);
        if (resume == kStopScan) return false;
        i = boundary = resume;
        prev_ccc = 0;
    }
    return true;
}

struct Mark {
    char32_t cp;
    Record record;
};

// Normalizes regions through one reusable buffer of decomposed code points.
class RegionNormalizer {
public:
    explicit RegionNormalizer(const Form& form) : form_(form) {}

    void normalize(std::string_view region, std::string& out) {
        size_ = 0;
        for (std::size_t i = 0; i < region.size();) decompose(utf8::decode(region, i));
        order();
        if (form_.compose) compose();
        encode(out);
    }

private:
    void decompose(char32_t c) {
        if (buf_.size() < size_ + kMaxDecomposition)
            buf_.resize(std::max(2 * buf_.size(), size_ + 64));
        Mark* dst = buf_.data() + size_;
        if (hangul::is_syllable(c)) {
            char32_t jamo[3];
            const std::size_t len = hangul::decompose(c, jamo);
            for (std::size_t k = 0; k < len; ++k) dst[k] = {jamo[k], record_of(jamo[k])};
            size_ += len;
            return;
        }
        const Record r = record_of(c);
        const std::uint16_t e = decomposition_entry(r);
        if (e == 0) {
            *dst = {c, r};
            ++size_;
            return;
        }
        for (char32_t d : decomposition(e, form_.compat)) *dst++ = {d, record_of(d)};
        size_ = std::size_t(dst - buf_.data());
    }

    void encode(std::string& out) const {
        char chunk[256];
        std::size_t used = 0;
        for (std::size_t k = 0; k < size_; ++k) {
            if (used > sizeof chunk - 4) {
                out.append(chunk, used);
                used = 0;
            }
            used += utf8::encode(buf_[k].cp, chunk + used);
        }
        out.append(chunk, used);
    }

    std::uint8_t ccc_at(std::size_t k) const { return combining_class(buf_[k].record); }

    // Canonical ordering: each run of non-starters sorted stably by combining class.
    void order() {
        const std::size_t n = size_;
        for (std::size_t i = 0; i < n;) {
            if (combining_class(buf_[i].record) == 0) {
                ++i;
                continue;
            }
            std::size_t j = i + 1;
            bool sorted = true;
            for (; j < n && combining_class(buf_[j].record) != 0; ++j)
                sorted = sorted && ccc_at(j - 1) <= ccc_at(j);
            if (!sorted) sort_run(i, j);
            i = j;
        }
    }

    void sort_run(std::size_t begin, std::size_t end) {
        Mark* run = buf_.data() + begin;
        const std::size_t len = end - begin;
        if (len <= kInsertionSortLimit) {
            for (std::size_t k = 1; k < len; ++k) {
                const Mark m = run[k];
                std::size_t p = k;
                for (; p > 0 && combining_class(run[p - 1].record) > combining_class(m.record); --p)
                    run[p] = run[p - 1];
                run[p] = m;
            }
            return;
        }
        // Long runs: a stable counting sort, linear in the run's length.
        std::array<std::size_t, 257> start{};
        for (std::size_t k = 0; k < len; ++k) ++start[combining_class(run[k].record) + 1];
        for (std::size_t v = 1; v < start.size(); ++v) start[v] += start[v - 1];
        sorted_.resize(len);
        for (std::size_t k = 0; k < len; ++k)
            sorted_[start[combining_class(run[k].record)]++] = run[k];
        std::copy(sorted_.begin(), sorted_.end(), run);
    }

    // Canonical composition, in place: each character is tried against the last starter unless
    // something between them blocks it (a starter, or a mark of the same or a higher class).
    void compose() {
        constexpr std::size_t kNoStarter = ~std::size_t(0);
        constexpr unsigned kBlocked = 256;
        std::size_t starter = kNoStarter;
        unsigned last_ccc = kBlocked;
        std::size_t w = 0;
        for (std::size_t r = 0; r < size_; ++r) {
            const Mark m = buf_[r];
            const unsigned ccc = combining_class(m.record);
            if (starter != kNoStarter && (last_ccc == 0 || last_ccc < ccc)) {
                Mark& s = buf_[starter];
                if (const char32_t composite = compose_pair(s.cp, s.record, m.cp, m.record)) {
                    s = {composite, record_of(composite)};
                    continue;
                }
            }
            if (ccc == 0) starter = w;
            last_ccc = ccc;
            buf_[w++] = m;
        }
        size_ = w;
    }

    static constexpr std::size_t kInsertionSortLimit = 16;

    const Form& form_;
    std::vector<Mark> buf_;  // the first size_ entries are in use
    std::size_t size_ = 0;
    std::vector<Mark> sorted_;
};

}  // namespace

void normalize_into(NormalizationForm mode, std::string_view text, std::string& out) {
    if (mode == NormalizationForm::None) {
        out.append(text);
        return;
    }
    const Form& form = form_for(mode);
    out.reserve(out.size() + text.size());
    RegionNormalizer normalizer(form);
    std::size_t copied = 0;
    if (form.direct) {
        // Decomposing forms meet a region every few characters in most accented text: the
        // output is staged, and the one-character regions are written directly.
        StagedOutput staged(out);
        for_each_unchecked_region(text, form, [&](std::size_t begin, std::size_t end, bool,
                                                  const DirectDecomposition* ready) {
            staged.copy(text.data() + copied, begin - copied, text.size() - copied);
            const std::string_view region = text.substr(begin, end - begin);
            copied = end;
            if (ready) {
                staged.copy_ready(*ready);
                return write_simple_run(text, end, form, staged, copied);
            }
            constexpr std::size_t kDirectRoom = 9;
            if (region.size() <= 3) {
                if (const std::size_t k = write_directly(form, region, staged.room(kDirectRoom))) {
                    staged.commit(k);
                    return write_simple_run(text, end, form, staged, copied);
                }
            }
            normalizer.normalize(region, staged.flushed());
            return end;
        });
        staged.flush();
    } else {
        for_each_unchecked_region(text, form, [&](std::size_t begin, std::size_t end, bool,
                                                  const DirectDecomposition*) {
            out.append(text.substr(copied, begin - copied));
            normalizer.normalize(text.substr(begin, end - begin), out);
            copied = end;
            return end;
        });
    }
    out.append(text.substr(copied));
}

namespace {

// The most non-ASCII characters the scan of passing starters looks at in one block of 32 bytes,
// and in all, before it leaves the rest to the region scan, which passes text of other scripts
// and long accented text by the block.
constexpr int kMostLookedUpInABlock = 7;
constexpr int kMostLookedUp = 32;

// One bit for each byte of the thirty-two at `s` that is at or above `limit`.
inline std::uint32_t bytes_at_or_above(const char* s, unsigned char limit) noexcept {
#if defined(__SSE2__)
    return std::uint32_t(utf8::at_or_above16(s, limit)) | std::uint32_t(utf8::at_or_above16(s + 16, limit)) << 16;
#else
    std::uint32_t bits = 0;
    for (unsigned k = 0; k < 32; ++k) bits |= std::uint32_t(static_cast<unsigned char>(s[k]) >= limit) << k;
    return bits;
#endif
}

// How far the scan of passing starters went: every character before `end` is a starter that
// passes the quick check. `settled`: the character at `end` certainly changes under the form
// and nothing it changes reaches back across its start, so the text is in the form exactly up
// to it; else the one at `end` passes as well, which nothing the form does reaches back across,
// and the region scan takes over there (`end` is the text's size when every character passes).
struct PassedStart {
    std::size_t end;
    bool settled;
};

// Where the scan of passing starters stops at `c` (of record `r`), which fails the quick check at `at`.
[[gnu::noinline]] PassedStart stopped_at(std::string_view text, std::size_t at, char32_t c, Record r,
                                         const Form& form) noexcept {
    if (combining_class(r) == 0 && (flags(r) & form.no) != 0 && boundary_before(c, r, form)) return {at, true};
    return {at == 0 ? 0 : previous_char_start(text.data(), at), false};
}

// Short texts of ASCII with a few typographic characters among it (curly quotes, dashes, emoji,
// a no-break space) are passed here 32 bytes a step and one lookup per such character,
// without the region scan's setup. A character that may join what is before it ends the scan
// before the starter just ahead of it.
PassedStart passing_starters_end(std::string_view text, const Form& form) noexcept {
    const char* s = text.data();
    const std::size_t n = text.size();
    const unsigned char limit = form.trivial_below;
    int looked_up = 0;
    for (std::size_t block = 0; block < n; block += 32) {
        std::uint32_t leads;
        if (block + 32 <= n) {
            leads = bytes_at_or_above(s + block, limit);
            if (leads == 0) continue;
        } else if (n >= 32) {
            // The last bytes as the end of the text's last 32, those before `block` shifted out.
            leads = bytes_at_or_above(s + n - 32, limit) >> (block + 32 - n);
        } else {
            char padded[32] = {};
            std::memcpy(padded, s, n);
            leads = bytes_at_or_above(padded, limit);
        }
        int in_block = 0;
        for (; leads != 0; leads &= leads - 1) {
            const std::size_t at = block + unsigned(__builtin_ctz(leads));
            // (Before the starter just ahead, where the region scan takes over.)
            if (++in_block > kMostLookedUpInABlock || ++looked_up > kMostLookedUp) return {previous_char_start(s, at), false};
            const auto lead = static_cast<unsigned char>(s[at]);
            if (lead < 0xE0 && is_starter_in(*form.starter_masks, lead, static_cast<unsigned char>(s[at + 1]))) continue;
            if (lead == 0xE2 && is_punctuation_starter_in(*form.punctuation_masks, reinterpret_cast<const unsigned char*>(s + at)))
                continue;
            // CJK ideographs and Hangul syllables, under leads of nothing but passing starters for
            // most forms, are passed by the region scan by the block: it takes over there.
            if (lead >= 0xE0 && (*form.lead_kinds)[lead] == kStarterLead) return {at, false};
            std::size_t end = at;
            const char32_t c = utf8::decode(text, end);
            const Record r = record_of(c);
            if (combining_class(r) != 0 || (flags(r) & form.not_yes) != 0) return stopped_at(text, at, c, r, form);
        }
    }
    return {n, false};
}

// The region scan behind `normalized_prefix` (a call of its own: most texts never need it).
[[gnu::noinline]] std::size_t scanned_prefix(const Form& form, std::string_view text) {
    // Most texts meet no region that needs a closer look: the normalizer is made at the first.
    std::optional<RegionNormalizer> normalizer;
    std::string scratch;
    std::size_t changed_at = text.size();
    for_each_unchecked_region(text, form, [&](std::size_t begin, std::size_t end, bool no,
                                              const DirectDecomposition*) {
        if (!no) {
            scratch.clear();
            if (!normalizer) normalizer.emplace(form);
            normalizer->normalize(text.substr(begin, end - begin), scratch);
            if (scratch == text.substr(begin, end - begin)) return end;
        }
        changed_at = begin;
        return kStopScan;
    });
    return changed_at;
}

}  // namespace

std::size_t normalized_prefix(NormalizationForm mode, std::string_view text) {
    if (mode == NormalizationForm::None) return text.size();
    const Form& form = form_for(mode);
    const PassedStart start = passing_starters_end(text, form);
    if (start.settled || start.end == text.size()) return start.end;
    return start.end + scanned_prefix(form, text.substr(start.end));
}

bool is_normalized(NormalizationForm mode, std::string_view text) {
    return normalized_prefix(mode, text) == text.size();
}

std::size_t nfkd_char(char32_t c, char32_t* buf) noexcept {
    if (hangul::is_syllable(c)) return hangul::decompose(c, buf);
    const std::uint16_t e = decomposition_entry(record_of(c));
    if (e == 0) {
        buf[0] = c;
        return 1;
    }
    const auto d = decomposition(e, true);
    std::copy(d.begin(), d.end(), buf);
    return d.size();
}

bool is_quick_check_starter(NormalizationForm form, char32_t c) noexcept {
    const Record r = record_of(c);
    return combining_class(r) == 0 && (flags(r) & form_for(form).not_yes) == 0;
}

bool joins_previous(char32_t c) noexcept {
    const Record r = record_of(c);
    return combining_class(r) != 0 || (flags(r) & kComposesWithPrevious) != 0;
}

}  // namespace scrubix::unicode
