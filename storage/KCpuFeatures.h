#pragma once

// The wide instruction sets of the processor this program runs on, asked once per run. Code
// built for them sits in functions with a target attribute, and callers choose by these; the
// SSE2 baseline needs no check on x86-64.
struct KCpuFeatures {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    static bool sse42() {
        static const bool has = __builtin_cpu_supports("sse4.2");
        return has;
    }
    static bool avx2() {
        static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2");
        return has;
    }
    // AVX-512 with byte and word lanes, as the value packers and parsers use it.
    static bool avx512bw() {
        static const bool has = __builtin_cpu_supports("avx512f") &&
                                __builtin_cpu_supports("avx512bw") &&
                                __builtin_cpu_supports("bmi2");
        return has;
    }
    // avx512bw() plus the compress of bytes that finds line ends.
    static bool avx512vbmi2() {
        static const bool has = avx512bw() && __builtin_cpu_supports("avx512vbmi2");
        return has;
    }
#else
    static bool sse42() {
        return false;
    }
    static bool avx2() {
        return false;
    }
    static bool avx512bw() {
        return false;
    }
    static bool avx512vbmi2() {
        return false;
    }
#endif
};
