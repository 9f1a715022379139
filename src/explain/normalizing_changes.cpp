// The piece is normalized in parts cut before ASCII characters (normalization never reaches
// back across one), so a change spans no more than the non-ASCII text around it. A part that
// changed is cut finer, before each character that is a starter passing the form's quick check
// (nothing reaches back across those either), so that a change in a long run without ASCII,
// such as CJK text, covers only the characters around it.
#include "explain/normalizing_changes.hpp"

#include "pass/shortcuts/ascii_bytes.hpp"
#include "unicode/normalize.hpp"
#include "unicode/utf8.hpp"

namespace scrubix::explain_detail {

namespace {

class PieceNormalizer {
public:
    PieceNormalizer(std::string_view text, NormalizationMode mode, std::string& out, ChangeList& changes,
                    bool& counted) noexcept
        : text_(text), mode_(mode), out_(out), changes_(changes), counted_(counted) {}

    void run(std::string_view piece) {
        std::size_t pos = 0;
        while (pos < piece.size()) {
            const std::size_t non_ascii = ascii::next_non_ascii(piece, pos);
            if (non_ascii >= piece.size()) {
                out_.append(piece.substr(pos));
                return;
            }
            // An ASCII letter may compose with the marks after it.
            const std::size_t start = non_ascii > pos ? non_ascii - 1 : non_ascii;
            std::size_t end = non_ascii;
            while (end < piece.size() && static_cast<unsigned char>(piece[end]) >= 0x80) ++end;
            out_.append(piece.substr(pos, start - pos));
            const std::size_t from = out_.size();
            const std::string_view part = piece.substr(start, end - start);
            unicode::normalize_into(mode_, part, out_);
            if (std::string_view(out_).substr(from) != part) {
                out_.resize(from);
                normalize_finer(piece, start, end);
            }
            pos = end;
        }
    }

private:
    // Normalizes piece[start, end) between the starters that pass the quick check; a stretch
    // made of one such starter alone is left as it is.
    void normalize_finer(std::string_view piece, std::size_t start, std::size_t end) {
        std::size_t stretch = start;
        std::size_t at = start;
        bool plain = starts_stretch(utf8::decode(piece, at));  // the stretch is its starter alone
        while (at <= end) {
            const std::size_t here = at;
            if (at < end && !starts_stretch(utf8::decode(piece, at))) {
                plain = false;
                continue;
            }
            if (plain) {
                out_.append(piece.substr(stretch, here - stretch));
            } else {
                normalize_stretch(piece, stretch, here);
            }
            stretch = here;
            plain = true;
            if (here == end) break;
        }
    }

    bool starts_stretch(char32_t c) const noexcept { return unicode::is_quick_check_starter(mode_, c); }

    void normalize_stretch(std::string_view piece, std::size_t start, std::size_t end) {
        const std::size_t from = out_.size();
        const std::string_view stretch = piece.substr(start, end - start);
        unicode::normalize_into(mode_, stretch, out_);
        const std::string_view written = std::string_view(out_).substr(from);
        if (written == stretch) return;
        CounterAmounts amounts{};
        amounts[kUnicodeNormalized] = counted_ ? 0 : 1;
        const auto base = static_cast<std::size_t>(piece.data() - text_.data());
        changes_.add_counting(base + start, base + end, written, amounts, 1u << kUnicodeNormalized);
        counted_ = true;
    }

    std::string_view text_;
    const NormalizationMode mode_;
    std::string& out_;
    ChangeList& changes_;
    bool& counted_;
};

}  // namespace

void normalize_reporting(std::string_view text, std::string_view piece, NormalizationMode mode, std::string& out,
                         ChangeList& changes, bool& counted) {
    PieceNormalizer(text, mode, out, changes, counted).run(piece);
}

}  // namespace scrubix::explain_detail
