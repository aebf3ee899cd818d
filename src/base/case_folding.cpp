// Looks a code point up in the generated runs of the case folding.
#include "base/case_folding.hpp"

#include <algorithm>

char32_t fold_case(char32_t code) {
    const auto* run = std::lower_bound(fold_runs.begin(), fold_runs.end(), code,
                                       [](const fold_run& r, char32_t c) { return r.last < c; });
    if (run == fold_runs.end() || code < run->first || (code - run->first) % run->stride != 0) {
        return code;
    }
    return static_cast<char32_t>(static_cast<std::int32_t>(code) + run->delta);
}
