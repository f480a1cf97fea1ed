#ifndef TESTS_FUZZ_FUZZCHECK_H
#define TESTS_FUZZ_FUZZCHECK_H

// A property of the fuzzed code that must hold: abort (a finding) when not.

#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                           \
    do {                                                                      \
        if (!(cond)) {                                                        \
            fprintf(stderr, "check failed: %s (line %d)\n", #cond, __LINE__); \
            abort();                                                          \
        }                                                                     \
    } while (0)

#endif
