// The engine's entry: one call cleans one UTF-8 text under one options record.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

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

}  // namespace scrubix
