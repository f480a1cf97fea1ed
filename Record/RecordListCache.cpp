#include "Record/RecordListCache.h"

#include <algorithm>
#include <climits>
#include <new>

#include "Record/Index/RecordFileIndex.h"

namespace {

// Room for a first build: a little over the last document, or a guess from
// the number of files.
const size_t kSpare = 65536;
const size_t kBytesPerFile = 256;

}  // namespace

emListBuild XBuildListBytes(const std::function<int(char*, int)>& build, size_t first, size_t largest,
                            RecordListBytes& out)
{
    largest = std::min<size_t>(largest, INT_MAX);
    size_t cap = std::min(std::max<size_t>(first, 1), largest);
    for (;;) {
        try {
            std::unique_ptr<char[]> buff(new char[cap]);
            const int len = build(buff.get(), static_cast<int>(cap));
            if (len >= 0 && static_cast<size_t>(len) <= cap) {
                out = std::make_shared<const std::string>(buff.get(), static_cast<size_t>(len));
                return emListBuild_Done;
            }
        } catch (const std::bad_alloc&) {
            return emListBuild_NoMemory;
        }
        if (cap >= largest) {
            return emListBuild_Refused;
        }
        cap = cap > largest / 2 ? largest : cap * 2;
    }
}

emListBuild CRecordListCache::Get(CRecordFileIndex& index, size_t largest, RecordListBytes& out)
{
    if (m_lpBytes && m_nChangeCount == index.GetChangeCount() && m_nLargest == largest) {
        out = m_lpBytes;
        return emListBuild_Done;
    }
    const size_t guess = m_lpBytes ? m_lpBytes->size() + m_lpBytes->size() / 8
                                   : static_cast<size_t>(std::max(index.GetFileCount(), 0)) * kBytesPerFile;
    m_lpBytes.reset();  // the old document goes before the new one is built
    const uint64_t change = index.GetChangeCount();
    RecordListBytes built;
    const emListBuild r = XBuildListBytes(
        [&index](char* buff, int len) { return index.GetFileInfoAsJSON(buff, len); }, guess + kSpare, largest,
        built);
    if (r == emListBuild_Done) {
        m_lpBytes = built;
        m_nChangeCount = change;
        m_nLargest = largest;
        out = built;
    }
    return r;
}

void CRecordListCache::Drop()
{
    m_lpBytes.reset();
}
