#include "base/Dispatch.h"

#include <initializer_list>

namespace zortan::fast {

const char* nameOf(InstructionSet set) {
    switch (set) {
        case InstructionSet::Baseline:
            return "baseline";
        case InstructionSet::X86_64_V3:
            return "x86-64-v3";
        case InstructionSet::X86_64_V4:
            return "x86-64-v4";
    }
    return "?";
}

bool runsHere(InstructionSet set) {
    if (set == InstructionSet::Baseline) return true;
#ifdef ZORTAN_WIDE_KERNELS
    // The runtime's record of the processor, also checked for the operating
    // system saving the wide registers; filled here in case the first call
    // comes before the runtime's own start-up did it.
    __builtin_cpu_init();
    if (set == InstructionSet::X86_64_V3) return __builtin_cpu_supports("x86-64-v3");
    if (set == InstructionSet::X86_64_V4) return __builtin_cpu_supports("x86-64-v4");
#endif
    return false;
}

InstructionSet chosenInstructionSet() {
    static const InstructionSet chosen = [] {
        for (InstructionSet set : {InstructionSet::X86_64_V4, InstructionSet::X86_64_V3})
            if (runsHere(set)) return set;
        return InstructionSet::Baseline;
    }();
    return chosen;
}

}  // namespace zortan::fast
