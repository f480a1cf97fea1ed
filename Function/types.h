#ifndef FUNCTION_TYPES_H
#define FUNCTION_TYPES_H

#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

#endif
