// The current event: one analysis frame as the event readers deliver it.
#pragma once

#include <array>
#include <cstdint>

#include "core/Analysis.h"

namespace zortan {

struct EventRecord {
    std::array<int16_t, kComponents> components{};  // coded form (CART rule, outputs)
    ComponentVector reals{};                        // real copy (distances)
    char cath1 = 0, cath2 = 0, cath3 = 0;           // given qualifiers
};

}  // namespace zortan
