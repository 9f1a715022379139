// Stretches of ASCII that the main pass copies to the output exactly as they stand.
//
// Printable ASCII passes every rule of the pass, a space between two printable characters is
// held and flushed unchanged, and a line break with nothing pending is written as it is. So when
// the pass is at rest (no whitespace pending, none of the drop flags set), such a stretch can be
// appended in one piece instead of cluster by cluster. Which other bytes belong to a stretch
// depends on the options: tabs and runs of whitespace only when runs are not collapsed, controls
// only when nothing removes them, CR only when line endings are left alone.
#pragma once

#include <cstddef>

#include "options.hpp"

namespace scrubix {

class VerbatimAscii {
public:
    explicit VerbatimAscii(const Options& options) noexcept;

    // End of the verbatim stretch that starts at `pos`, or `pos` when there is none. The stretch
    // ends in a visible character or a line break, before a byte that starts a new cluster: never
    // before a non-ASCII byte (which may carry a mark that joins the character before it).
    // The caller guarantees that the pass is at rest and, when the stretch starts with a space or
    // a tab, that the flush gate is open.
    std::size_t end_of_stretch(const unsigned char* bytes, std::size_t pos, std::size_t n) const noexcept;

    // Whether `b` is a whitespace byte that a stretch may hold (a space, or a tab when tabs pass).
    bool is_whitespace(unsigned char b) const noexcept { return b == ' ' || (tabs_ && b == '\t'); }
    // Whether `b` ends a line inside a stretch (LF, or CR when line endings are left alone).
    bool is_line_break(unsigned char b) const noexcept { return b == '\n' || (cr_ && b == '\r'); }

private:
    // The byte-by-byte rule: whether the byte at `i` belongs to a stretch.
    bool verbatim_at(const unsigned char* bytes, std::size_t i, std::size_t n) const noexcept;
    bool is_visible(unsigned char b) const noexcept;
    std::size_t without_held_whitespace(const unsigned char* bytes, std::size_t pos,
                                        std::size_t end) const noexcept;

    bool controls_;          // controls other than TAB/LF/CR are written unchanged
    bool tabs_;              // a tab is held and written unchanged
    bool runs_;              // whitespace may follow whitespace
    bool before_break_;      // whitespace before a line break or the end is written unchanged
    bool cr_;                // CR is a line break of its own (no line-ending style)
};

}  // namespace scrubix
