// The keyboard-only block loop: the common case of keyboard-only text (words of ASCII with
// letters of other scripts among them, single spaces between words) in one loop that writes
// its output straight into a small buffer of its own. Per step it takes either sixteen bytes
// of ASCII that come out as they stand, copied in one store, or one unit that needs a look:
// a code point of two or three bytes whose remembered outcome is a plain drop or a spelling,
// or the ASCII byte before one. It leaves everything else to the remembered run it starts from
// (remembered_runs.hpp): a longer cluster, a rule character, an outcome not worked out, runs of
// whitespace, CR, tabs and controls, and code points of four bytes. A long ASCII stretch goes
// to the ASCII shortcut on the way, which copies it straight to the output. A run of letters
// the pass has seen dropped whole (words of other scripts, single spaces between them) goes a
// window of 64 bytes at a time, counted without a look at each (dropped_letters.hpp). A letter
// of two bytes the pass has seen written as a short text, with ASCII after it, goes out in the
// step of sixteen bytes that ends at it, by its record (spelled_letters.hpp).
//
// Where a cluster ends is proved from the next byte alone wherever it can be: an ASCII byte
// after a code point that is not Prepend starts a new cluster, and a non-ASCII code point
// after an ASCII one does unless it joins what precedes it (a mark, a spacing mark, the zero
// width joiner). Between two non-ASCII code points the pair rules decide (a plain first one
// before one that does not join, at once). Every unit is looked at before anything of the
// unit before it is written, so the loop never has to take a write back.
//
// The whitespace run is followed exactly for the states the loop meets: nothing held or one
// space held, the just-dropped flag set or not, something already written. Holding a space,
// noting a drop and writing change those states just as Output does; on the way out the loop
// hands the run its state (Output::resume_after_block_loop).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "pass/keyboard_only_filter.hpp"
#include "pass/shortcuts/ascii_bytes.hpp"
#include "pass/shortcuts/dropped_letters.hpp"
#include "pass/shortcuts/remembered_take.hpp"
#include "pass/shortcuts/spelled_letters.hpp"
#include "pass/shortcuts/verbatim_ascii.hpp"
#include "records/stats.hpp"
#include "unicode/grapheme_rules.hpp"

namespace scrubix {

namespace keyboard_blocks_detail {

// The loop runs while this many bytes are left: a block of sixteen and the byte after it, or
// an ASCII byte, a code point and the code point after it, read without a bound check.
inline constexpr std::size_t kMargin = 32;

// The buffer the loop writes into, appended to the output when nearly full and at the end.
// One step writes at most sixteen bytes, a space and a letter's record (25 bytes), or a space
// and a spelling.
inline constexpr std::size_t kBufferBytes = 512;
inline constexpr std::size_t kStepBytes = 32;

// Full blocks in a row after which a stretch of ASCII is long enough for the ASCII shortcut.
inline constexpr int kLongStretchBlocks = 4;

// The length of the UTF-8 sequence a lead byte of two or three bytes starts.
constexpr std::size_t lead_length(unsigned char lead) noexcept { return 2 + std::size_t(lead >= 0xE0); }

// What the loop has written and counted since it started, and the whitespace run's state.
struct BlockState {
    char buffer[kBufferBytes];
    std::size_t size = 0;
    bool space_held = false;     // one space held
    bool just_dropped = false;   // the last cluster was dropped
    std::uint64_t dropped = 0;   // characters dropped
    std::uint64_t spelled = 0;   // characters spelled

    // Visible text: the held space is written before it (as one space, as Output writes a
    // run of one space whether runs are collapsed or not).
    void flush_space() noexcept {
        buffer[size] = ' ';
        size += space_held;
        space_held = false;
    }
};

// Of the sixteen bytes at `p`, those that come out as they stand when nothing is held: a
// printable character (before a non-ASCII one only when that one does not join it: those are
// `before_high`), a line feed, a space before a printable character; the spaces and line feeds
// are `rests`. Bit i for byte i; the loop takes the bytes before the first one missing. Reads
// seventeen bytes. One byte at a time here, for targets without SSE2 (and as the model the
// vector form is tested against).
inline unsigned verbatim_bytes_portable(const unsigned char* p, unsigned& rests, unsigned& before_high) noexcept {
    unsigned printable = 0, next_printable = 0, next_high = 0, spaces = 0, feeds = 0;
    for (unsigned i = 0; i < 16; ++i) {
        printable |= unsigned(ascii::is_printable(p[i])) << i;
        next_printable |= unsigned(ascii::is_printable(p[i + 1])) << i;
        next_high |= unsigned(p[i + 1] >= 0x80) << i;
        spaces |= unsigned(p[i] == ' ') << i;
        feeds |= unsigned(p[i] == '\n') << i;
    }
    rests = spaces | feeds;
    before_high = printable & next_high;
    return printable | feeds | (spaces & next_printable);
}

inline unsigned verbatim_bytes(const unsigned char* p, unsigned& rests, unsigned& before_high) noexcept {
#if defined(__SSE2__)
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i to_printable = _mm_set1_epi8(0x5F);  // 0x21..0x7E -> -128..-35
    const __m128i printable_bound = _mm_set1_epi8(-34);
    const unsigned printable =
        unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(_mm_add_epi8(here, to_printable), printable_bound)));
    const unsigned next_printable =
        unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(_mm_add_epi8(next, to_printable), printable_bound)));
    const unsigned next_high = unsigned(_mm_movemask_epi8(next));
    const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, _mm_set1_epi8(' '))));
    const unsigned feeds = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(here, _mm_set1_epi8('\n'))));
    rests = spaces | feeds;
    before_high = printable & next_high;
    return printable | feeds | (spaces & next_printable);
#else
    return verbatim_bytes_portable(p, rests, before_high);
#endif
}

// Whether a code point of `traits` and `props` (an entry of the outcome memory) is a cluster
// alone beside ASCII and beside any other such code point, and so may be noted as a dropped
// letter: it does not join what precedes it, and it is either plain or a Hangul syllable
// (which only a vowel or trailing jamo, or a mark, would join; none of those is such a code
// point).
template <class Entry>
bool alone_beside_letters(std::uint8_t traits, unicode::grapheme_rules::Props props) noexcept {
    namespace gr = unicode::grapheme_rules;
    if ((traits & Entry::kJoins) != 0) return false;
    const unsigned gcb = gr::gcb_of(props);
    return (traits & Entry::kPlain) != 0 || gcb == gr::kGcbLV || gcb == gr::kGcbLVT;
}

// What the 64 bytes at `p` are, a bit for each (bit i for byte i): leads of two or three
// bytes, spaces, other ASCII bytes and leads of four bytes (continuation bytes are none of
// them).
struct WindowBytes {
    std::uint64_t letters = 0;
    std::uint64_t spaces = 0;
    std::uint64_t other_ascii = 0;
    std::uint64_t fours = 0;
};

// One byte at a time here, for targets without SSE2 (and as the model the vector form is
// tested against).
inline WindowBytes window_bytes_portable(const unsigned char* p) noexcept {
    WindowBytes w;
    for (unsigned i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const unsigned char b = p[i];
        if (b == ' ') w.spaces |= bit;
        else if (b < 0x80) w.other_ascii |= bit;
        else if (b >= 0xF0) w.fours |= bit;
        else if (b >= 0xC0) w.letters |= bit;
    }
    return w;
}

inline WindowBytes window_bytes(const unsigned char* p) noexcept {
#if defined(__SSE2__)
    WindowBytes w;
    for (unsigned i = 0; i < 4; ++i) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        // As signed bytes: 0x80-0xBF is -128..-65, 0xF0-0xFF is -16..-1.
        const unsigned high = unsigned(_mm_movemask_epi8(v));
        const unsigned continuing = unsigned(_mm_movemask_epi8(_mm_cmplt_epi8(v, _mm_set1_epi8(-64))));
        const unsigned fours = unsigned(_mm_movemask_epi8(_mm_cmpgt_epi8(v, _mm_set1_epi8(-17)))) & high;
        const unsigned spaces = unsigned(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(' '))));
        const unsigned shift = 16 * i;
        w.letters |= std::uint64_t(high & ~continuing & ~fours) << shift;
        w.spaces |= std::uint64_t(spaces) << shift;
        w.other_ascii |= std::uint64_t(~high & ~spaces & 0xFFFFu) << shift;
        w.fours |= std::uint64_t(fours) << shift;
    }
    return w;
#else
    return window_bytes_portable(p);
#endif
}

// The bytes `take_dropped_letters` reads from a window's start: the window, and the last two
// bytes of a letter that starts at its end.
inline constexpr std::size_t kWindowReach = 64 + 2;

// Letters noted as dropped (dropped_letters.hpp), and single spaces between them, from `pos`
// (a cluster start at a letter of two or three bytes), a window of 64 bytes at a time while
// the text has one: words of other scripts that keyboard-only mode removes, one gap left where
// they were. Nothing is written; the letters are counted and the whitespace run's state
// follows (a space held before a drop stays held, and a space between drops is held). Returns
// where it stopped, a cluster start. The letter at `pos` is noted.
//
// Words of one letter, of two, of six come in any order, so a branch per letter or per space
// would often go the wrong way: the window's letters are looked up in one pass without one,
// and its spaces and other bytes are told apart by masks.
[[gnu::noinline]] inline std::size_t take_dropped_letters(const std::uint64_t* noted, const unsigned char* bytes,
                                                           std::size_t pos, std::size_t n, BlockState& s) noexcept {
    std::uint64_t dropped = 0;
    bool space_held = s.space_held, just_dropped = s.just_dropped;
    while (n - pos >= kWindowReach) {
        const unsigned char* window = bytes + pos;
        const WindowBytes w = window_bytes(window);
        // The letters up to the first other byte are looked up.
        const std::uint64_t ends = w.other_ascii | w.fours;
        std::uint64_t todo = w.letters & (ends ^ (ends - 1));
        std::uint64_t dropping = 0;
        while (todo != 0) {
            const unsigned i = unsigned(__builtin_ctzll(todo));
            todo &= todo - 1;
            dropping |= std::uint64_t(DroppedLetters::dropped(noted, window + i)) << i;
        }
        // The span ends at the first unit that is not a dropped letter or a space before one;
        // the window's last letter ends it too, as what follows that letter is not in view.
        const std::uint64_t last_letter = w.letters != 0 ? std::uint64_t{1} << (63 - __builtin_clzll(w.letters)) : 0;
        const std::uint64_t stops =
            ends | (w.letters & ~dropping) | (w.spaces & ~(dropping >> 1)) | last_letter;
        unsigned end = unsigned(__builtin_ctzll(stops));
        std::uint64_t before = (std::uint64_t{1} << end) - 1;
        // A letter just before a unit that may join it (a letter not noted, a code point of four
        // bytes) is left too. (A space just before one is a stop already.)
        if ((((w.letters & ~dropping) | w.fours) >> end & 1) != 0) {
            const std::uint64_t letters = w.letters & before;
            end = letters != 0 ? unsigned(63 - __builtin_clzll(letters)) : 0;
            before = (std::uint64_t{1} << end) - 1;
        }
        if (end == 0) break;
        const std::uint64_t units = (w.letters | w.spaces) & before;
        dropped += unsigned(__builtin_popcountll(w.letters & before));
        if ((w.spaces >> (63 - __builtin_clzll(units)) & 1) != 0) {
            // A space before the letter the span stops at.
            space_held = true;
            just_dropped = false;
        } else {
            space_held = space_held || (w.spaces & before) != 0;
            just_dropped = true;
        }
        pos += end;
        // On to the next window when the span stopped at a letter dropped whole: the last one in
        // view (or one left for what follows it, which the next window stops at at once).
        if ((dropping >> end & 1) == 0) break;
    }
    s.space_held = space_held;
    s.just_dropped = just_dropped;
    s.dropped += dropped;
    return pos;
}

}  // namespace keyboard_blocks_detail

// The loop from `pos` (a cluster start, with at least kMargin bytes left); returns where it
// stopped, `pos` when at once. Only with the memory's pages. `Loop` is the cluster loop
// (output(), memory(), stop_classes()).
template <class Loop>
std::size_t take_keyboard_blocks(Loop& loop, std::string_view text, std::size_t pos) {
    namespace detail = keyboard_blocks_detail;
    namespace gr = unicode::grapheme_rules;
    using Entry = KeyboardOnlyFilter::Memory::CodePoint;
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    auto& output = loop.output();
    auto& memory = loop.memory();
    auto& dropped_letters = loop.dropped_letters();
    const auto& run = output.run();
    // The states the loop follows: something written, and at most one space held.
    if (!run.wrote() || !(run.empty() || run.holds_lone_space())) return pos;
    const std::uint8_t stop = loop.stop_classes();

    detail::BlockState s;
    s.space_held = !run.empty();
    s.just_dropped = run.just_dropped();
    // The entry of the non-ASCII code point at `pos` when the step before looked it up.
    Entry* entry = nullptr;
    // The letters noted as dropped, once one is.
    const std::uint64_t* noted = dropped_letters.words();
    // The letters of two bytes with a record, once one has.
    auto& spelled_letters = loop.spelled_letters();
    const SpelledLetters::Record* records = spelled_letters.records();
    int full_blocks = 0;  // blocks of sixteen ASCII bytes in a row
    bool dropped_one = false;  // the last code point taken was dropped
    // The entry of the code point at `at`, when the loop can take it on (two or three bytes).
    const auto entry_at = [&](std::size_t at) -> Entry* {
        const unsigned char lead = bytes[at];
        if (lead >= 0xF0) return nullptr;
        return &memory.template code_point_at<true>(bytes + at, detail::lead_length(lead));
    };
    // Whether the code point at `at` (after an ASCII one) starts a cluster the loop can take.
    const auto starts_cluster = [&](std::size_t at) {
        entry = entry_at(at);
        return entry != nullptr && (entry->traits & Entry::kJoins) == 0;
    };

    // The record of the code point at `p` when it has two bytes and one (its size is 0 when
    // not), and whether a code point with a record ends its cluster before the bytes at `p`
    // (ASCII, or another letter with a record, which joins nothing).
    const auto record_at = [&](const unsigned char* p) {
        SpelledLetters::Record record{};
        if (p[0] >= 0xC0 && p[0] < 0xE0) std::memcpy(&record, &SpelledLetters::record(records, p), sizeof record);
        return record;
    };
    const auto alone_before = [&](const unsigned char* p) { return p[0] < 0x80 || record_at(p).size != 0; };

    // Room for one step's writes in the buffer.
    const auto make_room = [&] {
        if (s.size > detail::kBufferBytes - detail::kStepBytes) [[unlikely]] {
            output.emit_stretch_raw(std::string_view(s.buffer, s.size));
            s.size = 0;
        }
    };
    // Takes the code point at `pos` (of `entry`) as a cluster alone, and a single space after
    // it when a code point the loop can take follows; `entry` is then the entry at the new
    // `pos`, or null when an ASCII byte is there. False, changing nothing, where the loop stops.
    const auto take_code_point = [&]() __attribute__((always_inline)) {
        const unsigned char lead = bytes[pos];
        const std::size_t end = pos + detail::lead_length(lead);
        const std::uint8_t traits = entry->traits;
        const unsigned char after = bytes[end];
        Entry* next = nullptr;
        if (after < 0x80) {
            if ((traits & Entry::kPlain) == 0 && gr::gcb_of(entry->props) == gr::kGcbPrepend) return false;
        } else if ((next = entry_at(end)) == nullptr || !Entry::ends_before(traits, entry->props, *next)) {
            return false;
        }
        namespace taken = remembered_runs_detail;
        auto take = static_cast<taken::Take>(traits & Entry::kTakeMask);
        if (take == taken::kUnknown) [[unlikely]] take = taken::take_of(*entry, stop);
        if (take == taken::kDrop) {
            if ((noted == nullptr || !DroppedLetters::dropped(noted, bytes + pos)) &&
                detail::alone_beside_letters<Entry>(traits, entry->props)) {
                // A letter the loop may drop by its bit from now on.
                dropped_letters.note(bytes + pos);
                noted = dropped_letters.words();
            }
            dropped_one = true;
            ++s.dropped;
            s.just_dropped = true;
        } else if (take == taken::kWrite) {
            make_room();
            const auto& outcome = entry->outcome;
            if (lead < 0xE0 && (traits & (Entry::kPlain | Entry::kJoins)) == Entry::kPlain &&
                outcome.text_size <= SpelledLetters::kMaxText &&
                (records == nullptr || SpelledLetters::record(records, bytes + pos).size == 0)) {
                // A letter the block step may write by its record from now on.
                spelled_letters.note(bytes + pos, outcome.written(), outcome.transliterated);
                records = spelled_letters.records();
            }
            s.flush_space();
            std::memcpy(s.buffer + s.size, outcome.text, KeyboardOnlyFilter::Remembered::kMaxText);
            s.size += outcome.text_size;
            s.spelled += outcome.transliterated;
        } else {
            return false;
        }
        pos = end;
        entry = next;
        // A single space between two such code points (words of other scripts) is held here:
        // nothing is held after a spelling, and after a drop the run is one space either way.
        if (after == ' ') {
            if (bytes[end + 1] >= 0xC0 && starts_cluster(end + 1)) {
                s.space_held = true;
                s.just_dropped = false;
                pos = end + 1;
            } else {
                entry = nullptr;
            }
        }
        return true;
    };

    while (n - pos >= detail::kMargin) {
        const unsigned char b = bytes[pos];
        if (b >= 0x80) {
            // Code points of two or three bytes, and single spaces between them: runs of
            // letters noted as dropped a window at a time, any other code point one by one
            // (until one is dropped, where such a run may start).
            if (noted != nullptr && b < 0xF0 && DroppedLetters::dropped(noted, bytes + pos)) {
                full_blocks = 0;
                const std::size_t end = detail::take_dropped_letters(noted, bytes, pos, n, s);
                if (end != pos) {
                    pos = end;
                    entry = nullptr;
                    continue;
                }
            }
            if (entry == nullptr && (entry = entry_at(pos)) == nullptr) break;
            bool taken = true;
            dropped_one = false;
            do taken = take_code_point();
            while (taken && entry != nullptr && !dropped_one && n - pos >= detail::kMargin);
            if (!taken) break;
            full_blocks = 0;
            continue;
        }
        make_room();
        if (!s.space_held) {
            unsigned rests = 0, before_high = 0;
            const unsigned ok = detail::verbatim_bytes(bytes + pos, rests, before_high);
            unsigned taken = unsigned(__builtin_ctz(~ok | 0x10000u));
            if (records != nullptr) {
                // The block ends at a letter of two bytes with a record, or at a single space
                // before one, and ASCII or another such letter follows it: the letter is a
                // cluster alone (it joins nothing, and nothing that follows joins it), so the
                // bytes before it, the space and the letter's text go out in this step, and
                // the letters after it while each is followed the same way ("gr\u00F6\u00DFer").
                const unsigned space = bytes[pos + taken] == ' ';
                const unsigned char* letter = bytes + pos + taken + space;
                SpelledLetters::Record record = record_at(letter);
                if (record.size != 0 && alone_before(letter + 2)) {
                    std::memcpy(s.buffer + s.size, bytes + pos, 16);
                    s.size += taken;
                    s.buffer[s.size] = ' ';
                    s.size += space;
                    if (space != 0 || (rests & ((1u << taken) - 1)) != 0) s.just_dropped = false;
                    for (;;) {
                        std::memcpy(s.buffer + s.size, &record, sizeof record);
                        s.size += record.size;
                        s.spelled += record.spelled;
                        letter += 2;
                        if (letter[0] < 0x80 || std::size_t(n - (letter - bytes)) < detail::kMargin) break;
                        record = record_at(letter);
                        if (!alone_before(letter + 2)) break;
                        make_room();
                    }
                    pos = std::size_t(letter - bytes);
                    full_blocks = 0;
                    entry = nullptr;
                    continue;
                }
            }
            // A printable character before a non-ASCII one is a cluster alone when that one
            // does not join it (nor has four bytes, which the loop leaves).
            if (taken != 0 && ((before_high >> (taken - 1)) & 1) != 0 && !starts_cluster(pos + taken)) {
                --taken;
                entry = nullptr;
                // The space before that cluster stays with it: the cluster may yet be dropped,
                // and then that space and any after it are one run.
                if (taken != 0 && bytes[pos + taken - 1] == ' ') --taken;
            }
            if (taken != 0) {
                std::memcpy(s.buffer + s.size, bytes + pos, 16);
                s.size += taken;
                pos += taken;
                // A space or line feed among them clears the flag, as holding it would.
                if ((rests & ((1u << taken) - 1)) != 0) s.just_dropped = false;
                if (taken < 16) {
                    full_blocks = 0;
                } else if (++full_blocks == detail::kLongStretchBlocks) {
                    // A long stretch: the ASCII shortcut copies the rest of it straight to the
                    // output, with the run brought up to date before and read back after.
                    full_blocks = 0;
                    output.resume_after_block_loop(std::string_view(s.buffer, s.size), false, s.just_dropped);
                    s.size = 0;
                    pos = write_verbatim_stretch(output, loop.verbatim(), text, pos);
                    s.just_dropped = run.just_dropped();
                }
                continue;
            }
        }
        // One ASCII cluster: alone unless what follows joins it.
        entry = nullptr;
        if (bytes[pos + 1] >= 0x80 && !starts_cluster(pos + 1)) break;
        if (ascii::is_printable(b)) {
            s.flush_space();
            s.buffer[s.size++] = static_cast<char>(b);
        } else if (b == ' ') {
            // A second space makes a run the loop leaves to the whitespace run; after a drop
            // the run is one space either way.
            if (s.space_held && !s.just_dropped) break;
            s.space_held = true;
            s.just_dropped = false;
        } else if (b == '\n' && !s.space_held) {
            s.buffer[s.size++] = '\n';
            s.just_dropped = false;
        } else {
            break;
        }
        ++pos;
    }
    output.resume_after_block_loop(std::string_view(s.buffer, s.size), s.space_held, s.just_dropped);
    if (s.dropped != 0) output.tally.add(&CleaningStats::non_keyboard_removed, s.dropped);
    if (s.spelled != 0) output.tally.add(&CleaningStats::non_keyboard_transliterated, s.spelled);
    return pos;
}

}  // namespace scrubix
