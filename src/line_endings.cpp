#include "line_endings.hpp"

#include <algorithm>
#include <cstring>

namespace scrubix {

namespace {

// Position of the next byte that may start a line break to rewrite: CR, or the lead byte of
// U+0085 (C2 85) or U+2028/U+2029 (E2 80 A8/A9).
std::size_t find_break_lead(std::string_view s, std::size_t from) noexcept {
    const char* p = s.data();
    for (std::size_t i = from; i < s.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(p[i]);
        if (b == '\r' || b == 0xC2 || b == 0xE2) return i;
    }
    return s.size();
}

}  // namespace

LineBreakCounts unify_line_breaks(std::string_view text, std::string& out) {
    LineBreakCounts found;
    out.clear();
    out.reserve(text.size());
    std::size_t done = 0;
    std::size_t i = find_break_lead(text, 0);
    while (i < text.size()) {
        const auto b = static_cast<unsigned char>(text[i]);
        std::size_t len = 0;
        if (b == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                len = 2;
                ++found.crlf;
            } else {
                len = 1;
                ++found.cr;
            }
        } else if (b == 0xC2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x85) {
            len = 2;
            ++found.other;
        } else if (b == 0xE2 && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xA8 ||
                    static_cast<unsigned char>(text[i + 2]) == 0xA9)) {
            len = 3;
            ++found.other;
        }
        if (len == 0) {
            i = find_break_lead(text, i + 1);
            continue;
        }
        out.append(text.substr(done, i - done));
        out.push_back('\n');
        done = i + len;
        i = find_break_lead(text, done);
    }
    out.append(text.substr(done));
    return found;
}

void convert_line_breaks(LineEndingStyle style, const LineBreakCounts& found, std::string& out,
                         Tally& tally) {
    switch (style) {
        case LineEndingStyle::Absent:
            return;
        case LineEndingStyle::Lf: {
            const std::uint64_t changed =
                saturating_add(saturating_add(found.crlf, found.cr), found.other);
            if (changed != 0) tally.add(&CleaningStats::line_endings_normalized, changed);
            return;
        }
        case LineEndingStyle::Crlf:
        case LineEndingStyle::Cr:
            break;
    }
    const auto n = static_cast<std::uint64_t>(std::count(out.begin(), out.end(), '\n'));
    if (n == 0) return;
    if (style == LineEndingStyle::Cr) {
        std::replace(out.begin(), out.end(), '\n', '\r');
        if (n > found.cr) tally.add(&CleaningStats::line_endings_normalized, n - found.cr);
        return;
    }
    // In place, from the end: each text between LFs moves right by the CRs still to come.
    std::size_t from = out.size();
    out.resize(from + n);
    char* data = out.data();
    std::size_t to = out.size();
    while (from > 0) {
        const std::size_t lf = std::string_view(data, from).rfind('\n');
        const std::size_t start = lf == std::string_view::npos ? 0 : lf + 1;
        const std::size_t len = from - start;
        to -= len;
        std::memmove(data + to, data + start, len);
        if (lf == std::string_view::npos) break;
        data[--to] = '\n';
        data[--to] = '\r';
        from = lf;
    }
    if (n > found.crlf) tally.add(&CleaningStats::line_endings_normalized, n - found.crlf);
}

}  // namespace scrubix
