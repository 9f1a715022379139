#include "pass/whitespace_run.hpp"

namespace scrubix {

namespace {
// Characters of a run: bytes that are not UTF-8 continuation bytes.
std::size_t count_chars(std::string_view s) noexcept {
    std::size_t k = 0;
    for (unsigned char b : s) k += (b & 0xC0) != 0x80;
    return k;
}
}  // namespace

void WhitespaceRun::write(std::string& out, Tally& tally) {
    if (!collapse_) {
        out.append(pending_);
        return;
    }
    out.push_back(' ');
    if (pending_.size() == 1 && pending_[0] == ' ') return;
    const std::size_t k = count_chars(pending_);
    tally.add(&CleaningStats::whitespace_collapsed, k > 1 ? k - 1 : 1);
}

void WhitespaceRun::end_at_line_break(std::string& out, Tally& tally) {
    if (pending_.empty()) return;
    if (trim_) {
        tally.add(&CleaningStats::trailing_whitespace_removed, count_chars(pending_));
    } else {
        write(out, tally);
    }
    pending_.clear();
}

void WhitespaceRun::end_of_text(std::string& out, Tally& tally) {
    if (pending_.empty()) return;
    if (trim_) {
        tally.add(&CleaningStats::trailing_whitespace_removed, count_chars(pending_));
        pending_.clear();
    } else {
        flush(out, tally);
    }
}

}  // namespace scrubix
