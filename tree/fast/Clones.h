// Functions built for the baseline and for wider vector units; the one for
// this processor is chosen when the program is loaded. (Not under the thread
// sanitizer, whose runtime is not ready yet when the loader picks a build.)
#pragma once

#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ >= 12 && defined(__x86_64__) && \
    defined(__ELF__) && !defined(__SANITIZE_THREAD__)
#define ZORTAN_VECTOR_CLONES [[gnu::target_clones("default", "arch=x86-64-v3", "arch=x86-64-v4")]]
#else
#define ZORTAN_VECTOR_CLONES
#endif
