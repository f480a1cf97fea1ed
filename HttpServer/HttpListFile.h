#ifndef HTTPSERVER_HTTPLISTFILE_H
#define HTTPSERVER_HTTPLISTFILE_H

#include <cstddef>

#include "Record/RecordListCache.h"

// The recording lists sent as files are: each document the recording engine
// hands out is written once into an anonymous memory file (an unlinked one
// in /tmp where the kernel has none), and every reply of it goes out from
// there by sendfile(). HTTP thread only.

// Slots: one per list.
#define HTTP_LIST_FILE_SLOTS 3

// A new descriptor (the caller closes it) of the file holding `bytes`,
// written when `bytes` is not the document the slot holds; -1 when no file
// can be had: the bytes are then sent from memory. Null bytes (no list)
// let the slot's file go; replies still being sent keep theirs.
int list_file_for(size_t slot, const RecordListBytes& bytes);

// 0: no list files, every list is sent from memory (tests); 1 again by default.
void list_files_enable(int enable);

#endif
