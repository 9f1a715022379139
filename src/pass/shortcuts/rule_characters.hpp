// The copy shortcut for text outside keyboard-only mode: between the characters some enabled
// rule can act on, the pass writes every cluster exactly as it stands, so everything from a
// cluster boundary up to the last certain cluster boundary before the next such character is
// one copy.
//
// A rule character is found by its UTF-8 lead byte and the byte after it (which names the code
// point exactly for two-byte sequences, a block of 64 for three-byte ones and of 4096 for
// four-byte ones): a pair is a stop when any code point it leads has a rule class the options
// act on, or is a Prepend character (which would join the character after it into its cluster,
// so that no boundary could be told from the character after it alone). ASCII bytes are
// stops unless they are printable, a line feed, or a space before a printable or non-ASCII
// byte (what follows other whitespace decides its fate in the whitespace run).
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <string_view>

namespace scrubix {

class RuleCharacterScan {
public:
    // `stop_classes`: the rule classes that end a run of untouched clusters; `used`: whether
    // the pass asks for copies at all (the runs of clear lead bytes are worked out only then).
    RuleCharacterScan(std::uint8_t stop_classes, bool used);

    // End of the copy that starts at the cluster boundary `pos`: the last certain cluster
    // boundary at or before the first stop after `pos`, not after a space; `pos` when there is
    // none near enough. `pos` never moves back from one call to the next in a pass: the stop
    // found is remembered, so each byte is scanned once.
    std::size_t end_of_copy(std::string_view text, std::size_t pos) noexcept {
        if (known_ && pos <= stop_) return pos == stop_ ? pos : scan_to_copy_end(text, pos);
        // A stop at `pos` or right after it is common in punctuated text (a quote after a
        // word): the lead-byte pairs are asked before any block is loaded, and when they may
        // stop there the cluster loop goes on (it asks the code points themselves).
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t n = text.size();
        const std::size_t second = pos + (bytes[pos] < 0x80 ? 1 : bytes[pos] < 0xE0 ? 2 : bytes[pos] < 0xF0 ? 3 : 4);
        if (may_stop_at(bytes, pos, n) || (second < n && may_stop_at(bytes, second, n))) {
            known_ = false;
            return pos;
        }
        return scan_to_copy_end(text, pos);
    }

    // A run of lead bytes, first to last.
    struct LeadRun {
        unsigned char first = 1, last = 0;  // (empty)
    };
    // A two-byte lead in the clear runs under which exactly one code point stops (U+0149 among
    // the Latin letters under C5), passed by the vector scan unless followed by that one's
    // second byte; kNoLead (never in valid text) when there is none.
    static constexpr unsigned char kNoLead = 0xC0;
    struct StopPair {
        unsigned char lead = kNoLead, second = 0;
    };

private:
    std::size_t scan_to_copy_end(std::string_view text, std::size_t pos) noexcept;
    // The first stop at or after `pos`.
    std::size_t next_stop(const unsigned char* bytes, std::size_t pos, std::size_t n) const noexcept;
    // Whether the code point whose bytes start at `at` is a stop.
    bool is_stop_lead(const unsigned char* at) const noexcept;
    bool is_stop_at(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept;

    bool is_stop_ascii(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
        const unsigned char b = bytes[i];
        if ((b > 0x20 && b < 0x7F) || b == '\n') return false;
        if (b != ' ' || i + 1 == n) return true;
        const unsigned char next = bytes[i + 1];
        return !((next > 0x20 && next < 0x7F) || next >= 0x80);
    }
    // Whether the code point at `i` may be a stop, from its lead-byte pair alone.
    bool may_stop_at(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept {
        const unsigned char b = bytes[i];
        if (b < 0x80) return is_stop_ascii(bytes, i, n);
        return b >= 0xC0 && (table_[(unsigned(b - 0xC0) << 6) | (bytes[i + 1] & 0x3Fu)] & stop_mask_) != 0;
    }
    // Whether a cluster boundary lies certainly at `q` (a code point start after the text's
    // start), judging from the code points on both sides of it.
    static bool boundary_at(std::string_view text, std::size_t q) noexcept;

    // Runs of lead bytes under which nothing stops but the stop pair's character.
    LeadRun clear_runs_[3];
    StopPair stop_pair_;
    const std::uint16_t* table_;  // per lead and second byte: rule classes, Prepend, mixed
    std::uint16_t stop_mask_;     // the rule classes that stop, and the Prepend bit
    std::size_t stop_ = 0;        // the first stop at or after the last scan's start...
    bool known_ = false;          // ...once a scan ran
};

}  // namespace scrubix
