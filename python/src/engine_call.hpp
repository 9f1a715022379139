// Running the engine from Python: the interpreter lock is released around the call and taken
// back on every way out, and engine failures become Python exceptions.
#pragma once

#include <string>
#include <string_view>
#include <variant>

#include "driver.hpp"
#include "py_ref.hpp"

namespace scrubix::py {

// The outcome of one engine call made without the interpreter lock. On failure the Python
// error is already set and `ok` is false.
struct EngineOutcome {
    bool ok = false;
    std::variant<CleaningResult, CleaningError> value;
};

// Infallible entry (module functions): a CleaningError surfaces as PanicException.
EngineOutcome run_clean(std::string_view text, const Options& options);

// Fallible entry (Cleaner.clean): a CleaningError is returned in `value` for the caller.
EngineOutcome run_try_clean(std::string_view text, const Options& options);

// Sets PanicException (derived from BaseException, created on first need) with `message`.
void raise_panic(const char* message);

}  // namespace scrubix::py
