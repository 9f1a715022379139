// The engine's entry: one call cleans one UTF-8 text under one options record.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

#include "pass/pass_plan.hpp"
#include "records/options.hpp"
#include "records/stats.hpp"

namespace scrubix {

// The engine's only error: normalization requested from a build that cannot do it.
struct CleaningError {
    NormalizationMode mode = NormalizationMode::None;

    std::string message() const {
        return std::string("Unicode normalization ") + enumerator_name(mode) +
               " requested but the 'unorm' feature is disabled";
    }
};

// Raised by `clean` when `try_clean` reports a CleaningError: a programming fault.
class EnginePanic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Fallible entry. `text` must be valid UTF-8; it is read only and not retained.
std::variant<CleaningResult, CleaningError> try_clean(std::string_view text, const Options& options);

// Infallible entry: a CleaningError becomes an EnginePanic.
CleaningResult clean(std::string_view text, const Options& options);

// The working strings of a cleaning call: the normalized text and the main pass's output.
struct CleaningScratch {
    std::string normalized;
    std::string passed;
};

// Cleans many texts one after another under one options record, appending each cleaned text
// to a buffer of the caller's. Its working strings keep their memory from one text to the
// next instead of being allocated for each text, and no result string is made. One per thread.
class BatchCleaner {
public:
    explicit BatchCleaner(const Options& options) : options_(options), plan_(options_) {}

    // Appends the cleaned form of `text` (valid UTF-8, not within `out`) to `out` and returns
    // its counters: the text and counters `try_clean` gives for it. The pass writes into `out`
    // directly.
    std::variant<Tally, CleaningError> clean_append(std::string_view text, std::string& out);

private:
    Options options_;
    PassPlan plan_;  // the pass's own setup for options_, worked out once
    CleaningScratch scratch_;
};

}  // namespace scrubix
