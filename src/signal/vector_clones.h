#pragma once

// Marks a kernel to be built twice, plain and for AVX2, the one the processor can run
// chosen when the program loads. ThreadSanitizer cannot run the resolver that chooses
// (it runs before the sanitizer is set up), so a TSan build keeps the plain one.
#if defined(__SANITIZE_THREAD__)
#define KELVORA_VECTOR_CLONES
#else
#define KELVORA_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#endif
