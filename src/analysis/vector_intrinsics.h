#pragma once
// The x86 vector intrinsics, and the attribute that compiles one function for AVX2 (the
// run-time dispatch decides whether it may run). Any thread.

// GCC 12's vector headers trip -W(maybe-)uninitialized on their own "undefined" vectors
// (GCC bug 105593); the warning is about the header, not our code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

#define BANDSCOPE_AVX2 __attribute__((target("arch=x86-64-v3")))

// GCC's loop-header copying leaves each accumulator of a kernel's block loop in two registers,
// copied between them every block; without it each accumulator keeps one register.
#if defined(__GNUC__) && !defined(__clang__)
#define BANDSCOPE_NO_LOOP_HEADER_COPY __attribute__((optimize("no-tree-ch")))
#else
#define BANDSCOPE_NO_LOOP_HEADER_COPY
#endif
