// Cost of the record index on a card of many files: building the three
// indexes in the orders a card scan meets names, attaching titles and
// archives, looking files up, and the JSON list of each category beside a
// reference that writes the same bytes with one snprintf per record.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <list>
#include <string>
#include <vector>

#include "Function/SystemTime.h"
#include "Record/Index/AssociatedData.h"
#include "Record/Index/RecordFileIndex.h"
#include "Record/Index/RecordFileIndexNode.h"
#include "Record/RecordTypes.h"

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

// "(n)" for n 1-255, "" for 0: the reference's only piece made in advance.
const char* XIndexText(int index)
{
    static std::vector<std::string> s_Texts = [] {
        std::vector<std::string> t(RECORD_MAX_NAME_INDEX + 1);
        for (int i = 1; i <= RECORD_MAX_NAME_INDEX; ++i) {
            t[static_cast<size_t>(i)] = "(" + std::to_string(i) + ")";
        }
        return t;
    }();
    return index >= 0 && index <= RECORD_MAX_NAME_INDEX ? s_Texts[static_cast<size_t>(index)].c_str() : "";
}

#define XREF_TIME "%04u%02u%02u%02u%02u%02u"
#define XREF_TIME_ARGS(t) (t).year() + 2000, (t).month(), (t).day(), (t).hour(), (t).minute(), (t).second()

// One record in one snprintf, for the bench's files (every video with its
// title, every loop video with its archive, one snapshot record per alarm
// video); -1 for any other shape or when it does not fit.
int XReferenceRecord(char* out, size_t room, const CRecordFileIndexNode* n, emRecFileType type)
{
    const RECTIME& t = n->GetRecTime();
    const char* idx = XIndexText(n->GetRecIndex());
    const char* res = n->GetRecResolution() == 720 ? "_720p" : "";
    const char* park = n->GetRecParkingFlag() ? "_P" : "";
    int w = -1;
    if (type == emRecFileType_AlarmImage) {
        w = snprintf(out, room, "{\"filename\":\"%c" XREF_TIME "%s.JPG\",\"filesize\":%u,\"time\":\"" XREF_TIME "\"}",
                     XGetShownTypeLetter(n->GetRecType()), XREF_TIME_ARGS(t), idx, n->GetRecSize(), XREF_TIME_ARGS(t));
    } else if (type == emRecFileType_CommonVideo && n->HasTitleFile() && n->HasThumbFile()) {
        w = snprintf(out, room,
                     "{\"filename\":\"" XREF_TIME "_%u%s%s%s.MP4\",\"duration\":%u,\"filesize\":%u,\"title\":\"" XREF_TIME
                     "%s.JPG\",\"titlesize\":%u,\"thumb\":\"" XREF_TIME "%s.TGZ\",\"thumbsize\":%u,\"time\":\"" XREF_TIME
                     "\"}",
                     XREF_TIME_ARGS(t), n->GetRecDuration(), idx, res, park, n->GetRecDuration(), n->GetRecSize(),
                     XREF_TIME_ARGS(t), idx, n->GetRecTitleSize(), XREF_TIME_ARGS(t), idx, n->GetRecThumbSize(),
                     XREF_TIME_ARGS(t));
    } else if (type == emRecFileType_AlarmVideo && n->HasTitleFile() && n->GetAssociatedData() != nullptr &&
               n->GetAssociatedData()->GetNext() == nullptr) {
        const CAssociatedData* d = n->GetAssociatedData();
        char trigger[RECORD_TRIGGER_TEXT_SIZE];
        XGetTriggerText(n->GetRecTrigger(), trigger);
        const RECTIME& dt = d->GetRecTime();
        w = snprintf(out, room,
                     "{\"filename\":\"" XREF_TIME "_%u%s%s%s.MP4\",\"duration\":%u,\"filesize\":%u,\"title\":\"" XREF_TIME
                     "%s.JPG\",\"titlesize\":%u,\"trigger\":\"%s\",\"associateddata\":[{\"image\":\"%c" XREF_TIME
                     "%s.JPG\",\"position\":\"%s\"}],\"time\":\"" XREF_TIME "\"}",
                     XREF_TIME_ARGS(t), n->GetRecDuration(), idx, res, park, n->GetRecDuration(), n->GetRecSize(),
                     XREF_TIME_ARGS(t), idx, n->GetRecTitleSize(), trigger, XGetShownTypeLetter(d->GetRecType()),
                     XREF_TIME_ARGS(dt), XIndexText(d->GetRecIndex()), d->GetGPSPosition(), XREF_TIME_ARGS(t));
    }
    return w >= 0 && static_cast<size_t>(w) < room ? w : -1;
}

// The whole list with the reference records; -1 when a record is refused.
int XReferenceList(CRecordFileIndex& idx, emRecFileType type, char* buf, size_t size)
{
    const char* head = XGetRecFileIndexHead(type);
    size_t n = strlen(head);
    memcpy(buf, head, n);
    for (const CRecordFileIndexNode* node = idx.GetFileListHead(); node != nullptr; node = node->GetNext()) {
        if (node != idx.GetFileListHead()) {
            buf[n++] = ',';
        }
        const int w = XReferenceRecord(buf + n, size - n - 3, node, type);
        if (w < 0) {
            return -1;
        }
        n += static_cast<size_t>(w);
    }
    memcpy(buf + n, "]}", 3);
    return static_cast<int>(n + 2);
}

double XMedian(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    std::vector<char> ref(64u << 20);
    const int rounds = 5;
    int len = 0;
    int refLen = 0;
    std::vector<double> listMs;
    std::vector<double> refMs;
    for (int r = 0; r < rounds; ++r) {
        uint64_t t0 = SystemGetUSCount();
        len = idx.GetFileInfoAsJSON(buf.data(), static_cast<int>(buf.size()));
        uint64_t t1 = SystemGetUSCount();
        refLen = XReferenceList(idx, type, ref.data(), ref.size());
        uint64_t t2 = SystemGetUSCount();
        listMs.push_back(static_cast<double>(t1 - t0) / 1000.0);
        refMs.push_back(static_cast<double>(t2 - t1) / 1000.0);
    }
    const bool same = len > 0 && len == refLen && memcmp(buf.data(), ref.data(), static_cast<size_t>(len)) == 0;
    int reply = idx.GetFileInfoAsJSON(buf.data(), kReplyBuffer);
    uint64_t t2 = SystemGetUSCount();
    for (int i = 0; i < kFiles; ++i) {
        idx.GetFileInfoAsJSON(buf.data(), 16384, XFileTime(i), type == emRecFileType_AlarmImage ? i % 2 : i % 3);
    }
    uint64_t t3 = SystemGetUSCount();
    const double list = XMedian(listMs);
    const double reference = XMedian(refMs);
    printf("%-12s list of %d: %8.2f ms, %9d bytes (%6.1f ns/file); one snprintf per record: %8.2f ms, %s; "
           "list/reference %.2f; in the 2 MiB reply buffer: %s; one-file document %6.0f ns\n",
           type == emRecFileType_CommonVideo ? "common" : type == emRecFileType_AlarmVideo ? "alarm" : "image",
           kFiles, list, len, list * 1e6 / kFiles, reference, same ? "same bytes" : "BYTES DIFFER",
           reference > 0 ? list / reference : 0.0, reply >= 0 ? "fits" : "too long (-1)", XPer(t3 - t2, kFiles));
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
    printf("record index, %d files (JSON figures: median of 5 rounds)\n", kFiles);
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
