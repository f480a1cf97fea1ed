#ifndef PLAYAUDIO_PROMPTPATH_H
#define PLAYAUDIO_PROMPTPATH_H

#include <cstddef>

#include "PlayAudio/PcmIndex.h"
#include "PlayAudio/PromptRoles.h"

// Device path of a prompt's file from its inputs: the `language` setting, the
// card's mount path with its '/' (null: no card) and `devmodel` (null: unset).
// The path is cleared first. 0 for every number with a file (also when 8 and
// 17 find no card and the path stays empty), -1 for the others (path empty).
int XPromptPath(char* path, size_t size, int index, int language, const char* cardPath, const char* devmodel);

// The same from the live settings, the card and the boot environment of
// `roles` (a copy of `devmodel`, read only for 17). `path` holds 256 bytes.
int get_file_path(char* path, int index, const PromptRoles& roles);

#endif
