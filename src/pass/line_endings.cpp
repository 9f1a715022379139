#include "pass/line_endings.hpp"

#include <algorithm>
#include <cstring>

namespace scrubix {

void convert_line_breaks(LineEndingStyle style, const LineBreakCounts& found, std::string& out, std::size_t start,
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
    const auto written = out.begin() + static_cast<std::ptrdiff_t>(start);
    const auto n = static_cast<std::uint64_t>(std::count(written, out.end(), '\n'));
    if (n == 0) return;
    if (style == LineEndingStyle::Cr) {
        std::replace(written, out.end(), '\n', '\r');
        if (n > found.cr) tally.add(&CleaningStats::line_endings_normalized, n - found.cr);
        return;
    }
    // In place, from the end: each text between LFs moves right by the CRs still to come.
    std::size_t from = out.size();
    out.resize(from + n);
    char* data = out.data();
    std::size_t to = out.size();
    while (from > start) {
        const std::size_t lf = std::string_view(data + start, from - start).rfind('\n');
        const std::size_t line = lf == std::string_view::npos ? start : start + lf + 1;
        const std::size_t len = from - line;
        to -= len;
        std::memmove(data + to, data + line, len);
        if (lf == std::string_view::npos) break;
        data[--to] = '\n';
        data[--to] = '\r';
        from = start + lf;
    }
    if (n > found.crlf) tally.add(&CleaningStats::line_endings_normalized, n - found.crlf);
}

}  // namespace scrubix
