#include "Function/common.h"

#include <ctype.h>
#include <fcntl.h>
#include <unistd.h>

BOOL GetUUID(char* uuid, int buff_size)
{
    if (uuid == nullptr || buff_size <= 0) {
        return 0;
    }
    int fd = open("/proc/sys/kernel/random/uuid", O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return 0;
    }
    char text[128];
    ssize_t n = SafeRead(fd, text, sizeof(text) - 1);
    close(fd);
    if (n <= 0 || n >= buff_size) {
        return 0;
    }
    // At most n characters and the NUL: fits, since n < buff_size.
    int out = 0;
    for (ssize_t i = 0; i < n; ++i) {
        if (!isspace(static_cast<unsigned char>(text[i]))) {
            uuid[out++] = text[i];
        }
    }
    uuid[out] = '\0';
    return 1;
}
