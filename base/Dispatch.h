// The instruction sets the fast paths' kernels are built for, and the one
// choice among them for the processor the program runs on.
//
//   x86-64, GCC 12 or later, ELF (Linux): three builds of each kernel, for
//     baseline x86-64 (SSE2, 16-byte vectors), x86-64-v3 (AVX2 and FMA,
//     32-byte) and x86-64-v4 (AVX-512 F/BW/CD/DQ/VL, 64-byte); the widest
//     that the processor and its operating system run is chosen once.
//   MinGW-w64 (the Windows build): baseline only. GCC does not align the
//     stack there to the 32 or 64 bytes that spilled AVX registers need.
//   clang: baseline only, with the same GNU vector code; the x86-64 levels
//     as target names and as processor checks depend on its version.
//   Other processors: GNU vectors of 16 bytes (NEON on AArch64) under GCC
//     and clang; under other compilers a plain loop.
//
// A kernel is written once, as an always-inlined body; each build of it is a
// small function whose target attribute says which instructions the
// compiler may use for the body. The callers take the build for the set
// chosen here, through a function pointer chosen when the coder is made.
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__) && \
    defined(__ELF__)
#define ZORTAN_WIDE_KERNELS 1
#define ZORTAN_TARGET_X86_64_V3 [[gnu::target("arch=x86-64-v3")]]
#define ZORTAN_TARGET_X86_64_V4 [[gnu::target("arch=x86-64-v4")]]
#endif

namespace zortan::fast {

enum class InstructionSet { Baseline, X86_64_V3, X86_64_V4 };

// Every set, narrowest first.
inline constexpr InstructionSet kInstructionSets[] = {
    InstructionSet::Baseline, InstructionSet::X86_64_V3, InstructionSet::X86_64_V4};

const char* nameOf(InstructionSet set);

// Whether this build has kernels for `set` and this processor runs them.
bool runsHere(InstructionSet set);

// The widest set that runs here. The processor is asked once, on the first
// call; the answer is kept in a function-local constant, since it cannot
// change while the program runs.
InstructionSet chosenInstructionSet();

}  // namespace zortan::fast
