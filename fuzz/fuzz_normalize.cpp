// Fuzz target: the four normalization forms.
//
// For every form F and text x: F(x) is valid UTF-8, passes the quick check for F, and is a
// fixed point of F; the quick check on x agrees with F(x) == x; and the identities of UAX #15
// hold between the forms: NFC(NFD(x)) = NFC(x), NFD(NFC(x)) = NFD(x), NFKC(NFKD(x)) = NFKC(x),
// NFKD(NFKC(x)) = NFKD(x), NFKD(NFD(x)) = NFKD(x).
#include <array>

#include "fuzz_input.hpp"
#include "unicode/normalize.hpp"

using NormalizationMode = scrubix::unicode::NormalizationForm;
using scrubix::unicode::is_normalized;

namespace {

std::string normalized(NormalizationMode mode, std::string_view text) {
    std::string out;
    scrubix::unicode::normalize_into(mode, text, out);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text = fuzz::to_valid_utf8(data, size);
    constexpr std::array kForms = {NormalizationMode::NFD, NormalizationMode::NFC,
                                   NormalizationMode::NFKD, NormalizationMode::NFKC};
    std::array<std::string, 5> form;
    for (const NormalizationMode mode : kForms) {
        std::string& out = form[static_cast<std::size_t>(mode)];
        out = normalized(mode, text);
        FUZZ_ASSERT(scrubix::utf8::is_valid(out), text);
        FUZZ_ASSERT(is_normalized(mode, out), text);
        FUZZ_ASSERT(normalized(mode, out) == out, text);
        FUZZ_ASSERT(is_normalized(mode, text) == (out == text), text);
        // Appending keeps what the output held before.
        std::string appended = "x";
        scrubix::unicode::normalize_into(mode, text, appended);
        FUZZ_ASSERT(appended.size() == out.size() + 1 && appended.compare(1, out.size(), out) == 0, text);
    }
    const auto& nfd = form[static_cast<std::size_t>(NormalizationMode::NFD)];
    const auto& nfc = form[static_cast<std::size_t>(NormalizationMode::NFC)];
    const auto& nfkd = form[static_cast<std::size_t>(NormalizationMode::NFKD)];
    const auto& nfkc = form[static_cast<std::size_t>(NormalizationMode::NFKC)];
    FUZZ_ASSERT(normalized(NormalizationMode::NFC, nfd) == nfc, text);
    FUZZ_ASSERT(normalized(NormalizationMode::NFD, nfc) == nfd, text);
    FUZZ_ASSERT(normalized(NormalizationMode::NFKC, nfkd) == nfkc, text);
    FUZZ_ASSERT(normalized(NormalizationMode::NFKD, nfkc) == nfkd, text);
    FUZZ_ASSERT(normalized(NormalizationMode::NFKD, nfd) == nfkd, text);
    FUZZ_ASSERT(normalized(NormalizationMode::None, text) == text, text);
    return 0;
}
