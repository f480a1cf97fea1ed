#ifndef RECORD_RECORDLISTCACHE_H
#define RECORD_RECORDLISTCACHE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CRecordFileIndex;

// A list document as built: never changed afterwards, so a reply may send
// from it on any thread for as long as it holds it.
typedef std::shared_ptr<const std::string> RecordListBytes;

enum emListBuild {
    emListBuild_Done,
    emListBuild_Refused,   // the builder refused every buffer up to the largest
    emListBuild_NoMemory,  // a buffer could not be had
};

// Builds with `build` (the length written, or -1 when the buffer is too
// short) into buffers of `first` bytes, twice that and so on, the last of
// `largest` bytes; `out` keeps exactly the bytes written.
emListBuild XBuildListBytes(const std::function<int(char*, int)>& build, size_t first, size_t largest,
                            RecordListBytes& out);

// One index's document, built again only when the index has changed since.
// Used under the lock that serialises the index.
class CRecordListCache {
public:
    emListBuild Get(CRecordFileIndex& index, size_t largest, RecordListBytes& out);
    // Lets the document go (the card went away).
    void Drop();

private:
    RecordListBytes m_lpBytes;
    uint64_t m_nChangeCount = 0;
    size_t m_nLargest = 0;
};

#endif
