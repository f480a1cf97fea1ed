// Cost of the record index on a card of many files: building the three
// indexes in the orders a card scan meets names, attaching titles and
// archives, looking files up, and the JSON list of each category.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <list>
#include <vector>

#include "Function/SystemTime.h"
#include "Record/AssociatedData.h"
#include "Record/RecordFileIndex.h"

namespace {

constexpr int kFiles = 10000;
// The app's shared reply buffer.
constexpr int kReplyBuffer = 2 * 1024 * 1024 + 1;

RECTIME XFileTime(int i)
{
    // One file every 3 minutes from 2024-01-01 00:00:00.
    time_t t = 1704067200 + static_cast<time_t>(i) * 180;
    RECTIME r;
    Second2RECTIME(t, r);
    return r;
}

std::vector<int> XOrder(const char* kind)
{
    std::vector<int> order(kFiles);
    for (int i = 0; i < kFiles; ++i) {
        order[static_cast<size_t>(i)] = i;
    }
    if (kind[0] == 'r' && kind[1] == 'e') {
        for (int i = 0; i < kFiles / 2; ++i) {
            std::swap(order[static_cast<size_t>(i)], order[static_cast<size_t>(kFiles - 1 - i)]);
        }
    } else if (kind[0] == 'r') {
        unsigned seed = 1;
        for (int i = kFiles - 1; i > 0; --i) {
            seed = seed * 1103515245u + 12345u;
            std::swap(order[static_cast<size_t>(i)], order[(seed >> 8) % static_cast<unsigned>(i + 1)]);
        }
    }
    return order;
}

double XPer(uint64_t us, int ops) { return static_cast<double>(us) * 1000.0 / ops; }

void XBenchBuild(emRecFileType type, const char* orderName)
{
    const std::vector<int> order = XOrder(orderName);
    CRecordFileIndex idx(type);
    uint64_t t0 = SystemGetUSCount();
    for (int i : order) {
        if (type == emRecFileType_AlarmImage) {
            idx.AddRecFile(XFileTime(i), 0u, "AGMRVW"[i % 6], 0, 300000ul);
        } else {
            idx.AddRecFile(XFileTime(i), 180u, (1080 << 16) | ((i % 3) << 8), 150000000ul, 6u);
        }
    }
    // The first read links the nodes that waited for their place.
    idx.GetFileListHead();
    uint64_t t1 = SystemGetUSCount();
    int found = 0;
    if (type == emRecFileType_CommonVideo) {
        for (int i : order) {
            found += idx.AddRecFileTitle(XFileTime(i), i % 3, 20000ul);
        }
        for (int i : order) {
            found += idx.AddRecFileTimestamp(XFileTime(i), i % 3, 400000ul);
        }
    }
    uint64_t t2 = SystemGetUSCount();
    printf("%-12s %-10s insert %8.0f ns/file", type == emRecFileType_CommonVideo ? "common" : type == emRecFileType_AlarmVideo ? "alarm" : "image",
           orderName, XPer(t1 - t0, kFiles));
    if (type == emRecFileType_CommonVideo) {
        printf("   attach title+archive %8.0f ns/lookup (%d found)", XPer(t2 - t1, 2 * kFiles), found);
    }
    printf("\n");
}

void XBenchJson(emRecFileType type)
{
    CRecordFileIndex idx(type);
    for (int i = 0; i < kFiles; ++i) {
        if (type == emRecFileType_AlarmImage) {
            idx.AddRecFile(XFileTime(i), 0u, "AGMRVW"[i % 6], i % 2, 300000ul);
        } else {
            idx.AddRecFile(XFileTime(i), 180u, (720 << 16) | ((i % 3) << 8) | (i & 1), 150000000ul, 6u);
            idx.AddRecFileTitle(XFileTime(i), i % 3, 20000ul);
            if (type == emRecFileType_CommonVideo) {
                idx.AddRecFileTimestamp(XFileTime(i), i % 3, 400000ul);
            } else {
                CAssociatedData* d = CAssociatedDataManager::instance()->GetNode();
                d->SetRecType('A');
                d->SetRecTime(XFileTime(i));
                d->SetGPSPosition("$GPRMC,083000.00,A,3150.7813,N,11711.9278,E,0.0,0.0,050124,,,A*6B");
                idx.AddRecAssociatedData(XFileTime(i), i % 3, d);
            }
        }
    }
    std::vector<char> buf(64u << 20);
    const int rounds = 5;
    int len = 0;
    uint64_t t0 = SystemGetUSCount();
    for (int r = 0; r < rounds; ++r) {
        len = idx.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()));
    }
    uint64_t t1 = SystemGetUSCount();
    int reply = idx.GetFileInfoAsJSON(buf.data(), kReplyBuffer);
    uint64_t t2 = SystemGetUSCount();
    for (int i = 0; i < kFiles; ++i) {
        idx.GetFileInfoAsJSON(buf.data(), 16384, XFileTime(i), type == emRecFileType_AlarmImage ? i % 2 : i % 3);
    }
    uint64_t t3 = SystemGetUSCount();
    printf("%-12s list of %d: %8.2f ms, %9d bytes (%6.1f ns/file); in the 2 MiB reply buffer: %s; "
           "one-file document %6.0f ns\n",
           type == emRecFileType_CommonVideo ? "common" : type == emRecFileType_AlarmVideo ? "alarm" : "image",
           kFiles, static_cast<double>(t1 - t0) / 1000.0 / rounds, len, XPer(t1 - t0, rounds * kFiles),
           reply >= 0 ? "fits" : "too long (-1)", XPer(t3 - t2, kFiles));
}

// The insertion rule applied one node at a time (walk from the head), for
// comparison: what a scan in random directory order would cost without the
// middle chain.
void XBenchOneByOne()
{
    const std::vector<int> order = XOrder("random");
    std::list<uint32_t> list;
    uint64_t t0 = SystemGetUSCount();
    for (int i : order) {
        const uint32_t t = XFileTime(i).value;
        if (list.empty() || t >= list.front()) {
            list.push_front(t);
        } else if (t <= list.back()) {
            list.push_back(t);
        } else {
            auto it = list.begin();
            while (*it > t) {
                ++it;
            }
            list.insert(it, t);
        }
    }
    uint64_t t1 = SystemGetUSCount();
    printf("%-12s %-10s insert %8.0f ns/file   (one by one from the head, for comparison)\n", "reference", "random",
           XPer(t1 - t0, kFiles));
}

}  // namespace

int main()
{
    printf("record index, %d files\n", kFiles);
    // Warm-up: the pools allocate their blocks once.
    XBenchBuild(emRecFileType_CommonVideo, "ascending");
    XBenchBuild(emRecFileType_AlarmVideo, "ascending");
    XBenchBuild(emRecFileType_AlarmImage, "ascending");
    printf("--\n");
    for (const char* order : {"ascending", "reverse", "random"}) {
        XBenchBuild(emRecFileType_CommonVideo, order);
        XBenchBuild(emRecFileType_AlarmVideo, order);
        XBenchBuild(emRecFileType_AlarmImage, order);
    }
    XBenchOneByOne();
    XBenchJson(emRecFileType_CommonVideo);
    XBenchJson(emRecFileType_AlarmVideo);
    XBenchJson(emRecFileType_AlarmImage);
    return 0;
}
