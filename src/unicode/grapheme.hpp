// Extended grapheme clusters (UAX #29), of the Unicode version in generated/unicode_version.hpp.
#pragma once

#include <cstddef>
#include <string_view>

namespace scrubix::unicode {

// End (byte offset) of the extended grapheme cluster that starts at byte `pos` of the
// valid UTF-8 text; `pos` must be a cluster start below `text.size()`.
std::size_t next_cluster_end(std::string_view text, std::size_t pos) noexcept;

// Forward iteration over the clusters of a text.
class Clusters {
public:
    explicit Clusters(std::string_view text) noexcept : text_(text) {}

    // Sets `cluster` to the next cluster and returns true, or returns false at the end.
    bool next(std::string_view& cluster) noexcept {
        if (pos_ >= text_.size()) return false;
        const std::size_t end = next_cluster_end(text_, pos_);
        cluster = text_.substr(pos_, end - pos_);
        pos_ = end;
        return true;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

}  // namespace scrubix::unicode
