#include "pass_state.hpp"

namespace scrubix {

namespace {
// Characters of a run: bytes that are not UTF-8 continuation bytes.
std::size_t count_chars(std::string_view s) noexcept {
    std::size_t k = 0;
    for (unsigned char b : s) k += (b & 0xC0) != 0x80;
    return k;
}
}  // namespace

void PassState::write_run() {
    if (pending_.empty()) return;
    if (!options.collapse_whitespace) {
        out.append(pending_);
        return;
    }
    out.push_back(' ');
    if (pending_.size() == 1 && pending_[0] == ' ') return;
    const std::size_t k = count_chars(pending_);
    tally.add(&CleaningStats::whitespace_collapsed, k > 1 ? k - 1 : 1);
}

void PassState::end_at_line_break() {
    if (pending_.empty()) return;
    if (options.remove_trailing_whitespace) {
        tally.add(&CleaningStats::trailing_whitespace_removed, count_chars(pending_));
    } else {
        write_run();
    }
    pending_.clear();
}

void PassState::end_of_text() {
    if (pending_.empty()) return;
    if (options.remove_trailing_whitespace) {
        tally.add(&CleaningStats::trailing_whitespace_removed, count_chars(pending_));
        pending_.clear();
    } else {
        flush();
    }
}

}  // namespace scrubix
