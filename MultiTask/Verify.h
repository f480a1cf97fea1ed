#ifndef MULTITASK_VERIFY_H
#define MULTITASK_VERIFY_H

#include <cstdio>
#include <cstdlib>

// Fatal check that holds in every build type: prints the failed expression
// and aborts.
#define MULTITASK_VERIFY(expr)                                                        \
    do {                                                                             \
        if (!(expr)) {                                                               \
            fprintf(stderr, "%s:%d: %s: Assertion `%s' failed.\n", __FILE__, __LINE__, \
                    __FUNCTION__, #expr);                                            \
            abort();                                                                 \
        }                                                                            \
    } while (0)

#endif
