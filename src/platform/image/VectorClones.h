#pragma once

// Marks a pixel loop to be compiled twice, for AVX2 and for the baseline every x86-64 has;
// the loader picks the one the machine runs. The source is the same, and so are the results:
// the loops are integer arithmetic. Left out under the sanitizers, whose run-time starts
// after the loader resolves such clones.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__SANITIZE_ADDRESS__) && \
    !defined(__SANITIZE_THREAD__)
#define PELLIQO_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PELLIQO_VECTOR_CLONES
#endif
