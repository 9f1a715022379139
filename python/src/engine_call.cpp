#include "engine_call.hpp"

#include <exception>
#include <new>
#include <utility>

namespace scrubix::py {

namespace {

PyObject* g_panic_type = nullptr;

enum class Failure { None, OutOfMemory, Panic };

// Runs `call` with the interpreter lock released. C++ exceptions never cross into Python:
// they are caught here and, once the lock is held again, turned into Python errors.
template <class Call>
EngineOutcome run_unlocked(Call&& call) {
    EngineOutcome outcome;
    Failure failure = Failure::None;
    std::string panic_message;
    {
        AllowThreads unlocked;
        try {
            outcome.value = call();
            outcome.ok = true;
        } catch (const std::bad_alloc&) {
            failure = Failure::OutOfMemory;
        } catch (const std::exception& e) {
            failure = Failure::Panic;
            try {
                panic_message = e.what();
            } catch (...) {
                failure = Failure::OutOfMemory;
            }
        } catch (...) {
            failure = Failure::Panic;
            panic_message = "the cleaning engine failed";
        }
    }
    if (failure == Failure::OutOfMemory) PyErr_NoMemory();
    if (failure == Failure::Panic) raise_panic(panic_message.c_str());
    return outcome;
}

}  // namespace

void raise_panic(const char* message) {
    if (g_panic_type == nullptr) {
        g_panic_type = PyErr_NewExceptionWithDoc(
            "scrubix._scrubix.PanicException",
            "The cleaning engine stopped on an unrecoverable fault.\n\n"
            "Derives from BaseException, so `except Exception` does not catch it.",
            PyExc_BaseException, nullptr);
        if (g_panic_type == nullptr) return;
    }
    PyErr_SetString(g_panic_type, message);
}

EngineOutcome run_clean(std::string_view text, const Options& options) {
    return run_unlocked([&]() -> std::variant<CleaningResult, CleaningError> {
        return scrubix::clean(text, options);
    });
}

EngineOutcome run_try_clean(std::string_view text, const Options& options) {
    return run_unlocked([&]() { return scrubix::try_clean(text, options); });
}

}  // namespace scrubix::py
