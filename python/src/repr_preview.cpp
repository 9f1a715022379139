#include "repr_preview.hpp"

#include <cstdint>

#include "unicode/utf8.hpp"

#include "generated/repr_escape_data.inc"

namespace scrubix::py {

namespace {

void append_escaped(std::string& out, char32_t c) {
    switch (c) {
        case U'\t': out += "\\t"; return;
        case U'\r': out += "\\r"; return;
        case U'\n': out += "\\n"; return;
        case U'\0': out += "\\0"; return;
        case U'\\': out += "\\\\"; return;
        case U'"': out += "\\\""; return;
        default: break;
    }
    if (!repr_must_escape(c)) {
        utf8::append(out, c);
        return;
    }
    static constexpr char kHex[] = "0123456789abcdef";
    char digits[8];
    std::size_t n = 0;
    auto value = static_cast<std::uint32_t>(c);
    do {
        digits[n++] = kHex[value & 0xF];
        value >>= 4;
    } while (value != 0);
    out += "\\u{";
    while (n > 0) out += digits[--n];
    out += '}';
}

}  // namespace

std::string quoted_preview(std::string_view text) {
    std::string out = "\"";
    std::size_t i = 0;
    std::size_t shown = 0;
    while (i < text.size() && shown < kPreviewChars) {
        append_escaped(out, utf8::decode(text, i));
        ++shown;
    }
    // Anything left means the text has more than kPreviewChars characters.
    if (i < text.size()) out += "...";
    out += '"';
    return out;
}

}  // namespace scrubix::py
