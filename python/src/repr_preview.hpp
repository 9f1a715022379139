// The quoted text preview that CleaningResult's repr shows.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace scrubix::py {

// Characters of the text shown before the preview is cut and "..." appended.
constexpr std::size_t kPreviewChars = 60;

// `text` (valid UTF-8) as a double-quoted literal: its first 60 characters, "..." when there
// are more, with quotes, backslashes, control characters, combining marks and other
// unprintable characters escaped.
std::string quoted_preview(std::string_view text);

}  // namespace scrubix::py
