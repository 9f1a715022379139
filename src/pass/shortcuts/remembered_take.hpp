// What the keyboard-only runs do with a code point as a cluster of its own, worked out once
// from its entry in the outcome memory and kept in the entry's low trait bits.
#pragma once

#include <cstdint>

namespace scrubix::remembered_runs_detail {

// What the run does with a code point as a cluster of its own (the low bits of the entry's
// traits, 0 until worked out).
enum Take : std::uint8_t {
    kUnknown = 0,
    kDrop = 1,   // dropped, one character, not an emoji
    kWrite = 2,  // written as the remembered text (spelled or kept), nothing removed
    kApply = 3,  // any other remembered outcome
    kRules = 4,  // some rule acts on it
};

// What the run does with the code point of `entry`; kUnknown while the filter has not seen it.
template <class Entry>
Take take_of(Entry& entry, std::uint8_t stop) noexcept {
    Take take;
    if ((entry.classes & stop) != 0) {
        take = kRules;
    } else if (!entry.known) {
        return kUnknown;
    } else if (entry.outcome.plain_drop() == 1) {
        take = kDrop;
    } else if (!entry.outcome.written().empty()) {
        take = kWrite;
    } else {
        take = kApply;
    }
    entry.traits = static_cast<std::uint8_t>(entry.traits | take);
    return take;
}

}  // namespace scrubix::remembered_runs_detail
