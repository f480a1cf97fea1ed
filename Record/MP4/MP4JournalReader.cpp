#include "Record/MP4/MP4JournalReader.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "Function/ByteOrder.h"

namespace {

typedef tagMP4JournalLimits L;

// Seconds of frames the writer's video table holds, and its audio frames.
constexpr uint32_t kTableSeconds = 256 + 8;
constexpr uint32_t kAudioTable = 12800;
// Payload start of the mdat box.
constexpr uint64_t kMdatPayload = 64;

bool XParseHeader(CMP4PayloadReader& p, tagMP4JournalHeader& h)
{
    if (!p.Has(4 + 16 + 8)) {
        return false;
    }
    h.fileType = p.Get8();
    const uint32_t zero = (static_cast<uint32_t>(p.Get8()) << 16) | p.Get16();
    h.fps = p.Get32();
    h.timescale = p.Get32();
    h.width = p.Get32();
    h.height = p.Get32();
    h.creationTime = p.Get64();
    std::vector<uint8_t> name;
    if (zero != 0 || h.fileType > 1 || h.fps == 0 || h.fps > static_cast<uint32_t>(L::kMaxFps) ||
        h.timescale == 0 || h.width == 0 || h.width > L::kMaxPictureSide || h.height == 0 ||
        h.height > L::kMaxPictureSide || !p.GetUnit(1, 255, name) || !p.GetUnit(4, 128, h.sps) ||
        !p.GetUnit(1, 128, h.pps) || !p.Done()) {
        return false;
    }
    for (uint8_t c : name) {
        if (c == 0 || c == '/') {
            return false;
        }
    }
    h.name.assign(name.begin(), name.end());
    return true;
}

class CSampleCheck {
public:
    CSampleCheck(tagMP4JournalContent& c, uint64_t fileSize)
        : m_c(c), m_FileSize(fileSize), m_MaxVideo(CMP4JournalReader::MaxVideoSamples(c.header.fps))
    {
    }

    // The entries of one samples record; false (with the reason) at the
    // first one that does not fit, which ends every later sample.
    bool Record(CMP4PayloadReader& p)
    {
        if (!p.Has(L::kSamplesHeadBytes)) {
            return Fail("samples record too short");
        }
        uint64_t at = p.Get64();
        const uint32_t count = p.Get32();
        if (p.Left() != static_cast<uint64_t>(count) * L::kEntryBytes) {
            return Fail("samples record holds %zu bytes for %u entries", p.Left(), count);
        }
        if (at < kMdatPayload || at < m_c.dataEnd) {
            return Fail("samples at %llu before the end of the last one (%llu)", static_cast<unsigned long long>(at),
                        static_cast<unsigned long long>(m_c.dataEnd));
        }
        for (uint32_t i = 0; i < count; ++i) {
            tagMP4JournalSample s;
            s.kind = p.Get8();
            s.flags = p.Get8();
            s.size = p.Get32();
            s.duration = p.Get32();
            if (s.flags & ~(MP4_JOURNAL_FLAG_KEY | MP4_JOURNAL_FLAG_FORCE_CHUNK)) {
                return Fail("entry %u has unknown flags 0x%02x", m_c.records, s.flags);
            }
            switch (s.kind) {
            case emMP4JournalEntry_Video:
            case emMP4JournalEntry_Audio: {
                const bool video = s.kind == emMP4JournalEntry_Video;
                if ((video ? m_c.videoSamples >= m_MaxVideo : m_c.audioSamples >= kAudioTable)) {
                    return Fail("more %s samples than a file holds", video ? "video" : "audio");
                }
                if (s.size > m_FileSize || at > m_FileSize - s.size) {
                    return Fail("%s sample %u (%u bytes at %llu) beyond the file end (%llu): torn, dropped",
                                video ? "video" : "audio", video ? m_c.videoSamples : m_c.audioSamples, s.size,
                                static_cast<unsigned long long>(at), static_cast<unsigned long long>(m_FileSize));
                }
                s.offset = at;
                at += s.size;
                m_c.dataEnd = at;
                if (video) {
                    ++m_c.videoSamples;
                    if (s.flags & MP4_JOURNAL_FLAG_KEY) {
                        ++m_c.videoKeyFrames;
                    }
                } else {
                    ++m_c.audioSamples;
                }
                break;
            }
            case emMP4JournalEntry_VideoLost:
            case emMP4JournalEntry_AudioLost:
                if (s.size != 0 || s.flags != 0) {
                    return Fail("lost-time entry with a size");
                }
                s.offset = 0;
                break;
            default:
                return Fail("entry of unknown kind %u", s.kind);
            }
            m_c.samples.push_back(s);
        }
        return true;
    }

private:
    bool Fail(const char* fmt, ...) __attribute__((format(printf, 2, 3)))
    {
        char text[256];
        va_list ap;
        va_start(ap, fmt);
        vsnprintf(text, sizeof(text), fmt, ap);
        va_end(ap);
        m_c.problem = text;
        return false;
    }

    tagMP4JournalContent& m_c;
    uint64_t m_FileSize;
    uint32_t m_MaxVideo;
};

}  // namespace

uint32_t CMP4JournalReader::MaxVideoSamples(uint32_t fps)
{
    return fps * kTableSeconds;
}

uint32_t CMP4JournalReader::MaxAudioSamples()
{
    return kAudioTable;
}

BOOL CMP4JournalReader::Parse(const uint8_t* data, size_t len, uint64_t fileSize, tagMP4JournalContent& c)
{
    c = tagMP4JournalContent();
    if (data == nullptr || len < L::kHeadBytes || memcmp(data, MP4_JOURNAL_MAGIC, 6) != 0) {
        c.problem = "not a journal";
        return 0;
    }
    if (XGetBE16(data + 6) != MP4_JOURNAL_VERSION) {
        c.problem = "journal version " + std::to_string(XGetBE16(data + 6)) + " unknown";
        return 0;
    }
    if (len > L::kMaxJournalBytes) {
        len = L::kMaxJournalBytes;
    }
    size_t at = L::kHeadBytes;
    bool samplesOpen = true;
    bool bSamplesSeen = false;
    std::string samplesProblem;
    while (at < len) {
        tagMP4JournalRecordView rec;
        if (!XMP4ReadJournalRecord(data, len, at, c.records, L::kMaxPayload, rec, c.problem)) {
            break;
        }
        if (rec.seq != c.records) {
            c.problem = "record " + std::to_string(c.records) + " out of sequence (" + std::to_string(rec.seq) + ")";
            break;
        }
        const uint8_t type = rec.type;
        const uint32_t payload = rec.length;
        CMP4PayloadReader p(rec.payload, payload);
        if (c.records == 0) {
            if (type != emMP4JournalRecord_Header || !XParseHeader(p, c.header)) {
                c.problem = "no valid header record";
                return 0;
            }
        } else if (type == emMP4JournalRecord_Samples) {
            c.bHasReached = 0;
            bSamplesSeen = true;
            if (samplesOpen) {
                CSampleCheck check(c, fileSize);
                samplesOpen = check.Record(p);
                if (!samplesOpen) {
                    samplesProblem.swap(c.problem);
                }
            }
        } else if (type == emMP4JournalRecord_Reached) {
            if (payload != 16) {
                c.problem = "reached record of " + std::to_string(payload) + " bytes";
                break;
            }
            const uint64_t all = p.Get64();
            const uint64_t video = p.Get64();
            if (all > video) {
                c.problem = "reached record out of order";
                break;
            }
            c.bHasReached = samplesOpen ? 1 : 0;
            c.reachedAll = all;
            c.reachedVideo = video;
            if (!bSamplesSeen && all == video && all != ~0ULL) {
                c.firstSeq = all + 1;
            }
        } else if (type == emMP4JournalRecord_Alarm) {
            if (!p.Has(8)) {
                c.problem = "alarm record too short";
                break;
            }
            const uint32_t mask = p.Get32();
            const uint32_t count = p.Get32();
            if (p.Left() != static_cast<uint64_t>(count) * L::kSnapshotBytes) {
                c.problem = "alarm record holds " + std::to_string(p.Left()) + " bytes for " + std::to_string(count) +
                            " snapshots";
                break;
            }
            c.alarmMask = mask;
            const uint8_t* s = p.Take(p.Left());
            c.snapshots.assign(s, s + static_cast<size_t>(count) * L::kSnapshotBytes);
        } else if (type == emMP4JournalRecord_Names) {
            if (payload != 8) {
                c.problem = "names record of " + std::to_string(payload) + " bytes";
                break;
            }
            const uint16_t res = p.Get16();
            const uint8_t parking = p.Get8();
            const uint8_t zero = p.Get8();
            const int32_t title = static_cast<int32_t>(p.Get32());
            if ((res != 720 && res != 1080) || parking > 1 || zero != 0 || title < -1 || title > 255) {
                c.problem = "names record out of range";
                break;
            }
            c.bHasNames = 1;
            c.resFlag = res;
            c.bParking = parking;
            c.titleIndex = title;
        } else {
            c.problem = "record of unknown type " + std::to_string(type);
            break;
        }
        ++c.records;
        at = rec.next;
    }
    if (c.records == 0) {
        if (c.problem.empty()) {
            c.problem = "no header record";
        }
        return 0;
    }
    if (c.problem.empty()) {
        c.problem = samplesProblem;
    } else if (!samplesProblem.empty()) {
        c.problem = samplesProblem + "; " + c.problem;
    }
    return 1;
}
