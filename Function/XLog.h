#ifndef FUNCTION_XLOG_H
#define FUNCTION_XLOG_H

#include <cstdio>

// Error lines: "Error[file:line:function]: " plus the text, on standard error.
#define XERROR(fmt, ...) \
    fprintf(stderr, "Error[%s:%d:%s]: " fmt, __FILE__, __LINE__, __FUNCTION__, ##__VA_ARGS__)

#endif
