// Unicode normalization forms (UAX #15), of the Unicode version in generated/unicode_version.hpp.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "normalization_form.hpp"

namespace scrubix::unicode {

// Appends the `form` of the valid UTF-8 `text` to `out`. Form None appends `text`.
void normalize_into(NormalizationForm form, std::string_view text, std::string& out);

// Whether `text` is already in the `form` (quick check, confirmed where it says maybe).
bool is_normalized(NormalizationForm form, std::string_view text);

// Length of the longest start of `text` that ends at a boundary the `form` never reaches
// across and that the form leaves as it is: `text.size()` when the whole text is in the form.
// The form of `text` is that start followed by the form of the rest.
std::size_t normalized_prefix(NormalizationForm form, std::string_view text);

// Whether `c` is a starter that passes the `form`'s quick check: nothing the form does reaches
// back across it, so text may be normalized in parts cut before such characters.
bool is_quick_check_starter(NormalizationForm form, char32_t c) noexcept;

// Whether `c` can join the character before it under some form: a mark that is reordered
// with it (non-zero combining class), or the second of a composition pair (Hangul jamo too).
bool joins_previous(char32_t c) noexcept;

// Longest full compatibility decomposition of one code point (U+FDFA).
inline constexpr std::size_t kMaxDecomposition = 18;

// Writes the full compatibility decomposition (NFKD) of `c`, in canonical order, to `buf`
// (room for kMaxDecomposition code points) and returns its length (1 when c maps to itself).
std::size_t nfkd_char(char32_t c, char32_t* buf) noexcept;

}  // namespace scrubix::unicode
