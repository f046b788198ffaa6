// Texts of setting values shared by the dumps of the three kinds.
#pragma once

#include <array>
#include <string>

#include "base/Format.h"
#include "tree/QuantizationTree.h"

namespace zortan::dump {

// An item index with its value name: "1 (Gauss)", "-1 (none)", or the
// number alone when it names no item.
template <size_t N>
std::string choiceText(int index, const std::array<const char*, N>& names) {
    if (index == -1) return "-1 (none)";
    if (index < 0 || static_cast<size_t>(index) >= N) return std::to_string(index);
    return std::to_string(index) + " (" + names[static_cast<size_t>(index)] + ")";
}

inline std::string yesNo(bool on) {
    return on ? "yes" : "no";
}

inline std::string realText(double value, const char* unit) {
    return formatGeneral(value) + " " + unit;
}

// The members of a set of characters, blank-separated ("a e i o u").
std::string characterSetText(const Set256& set);

}  // namespace zortan::dump
