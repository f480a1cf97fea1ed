#ifndef MAIN_VERSION_H
#define MAIN_VERSION_H

#include <cstddef>

#include "Roles/BootEnv.h"

// The version hand-over file: items "name", one separator, value, "$".
#define VERSION_FILE "/root/version.txt"
// Only this many bytes of the file are looked at.
#define VERSION_FILE_SCAN 1024
// Value fields: firmware_ver holds 4 characters, bootargs and bootcmd 255.
#define VERSION_FW_SIZE 5
#define VERSION_ARG_SIZE 256

// Copies the value of item `name` of the file at `path` (a board path) into
// `value`, terminated. 0 when found and it fits in `size` - 1 characters,
// -1 otherwise (no file, no item, no closing "$", too long).
int get_ver(const char* path, const char* name, char* value, size_t size);

// Stores firmware_ver, bootargs and bootcmd of /root/version.txt in the
// boot environment and saves it: 0 on success, -1 otherwise (also when
// `store` is null).
int write_version(CBootEnv* store);

// Start-up step: when /root/version.txt exists, hands it over and deletes it
// once that succeeded; a failure keeps it for the next start.
void XHandOverVersion(CBootEnv* store);

#endif
