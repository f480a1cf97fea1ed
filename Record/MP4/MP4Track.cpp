#include "Record/MP4/MP4Track.h"

#include "Record/MP4/ByteIOFile.h"
#include "Record/MP4/MP4MovieEntry.h"
#include "Record/MP4/MP4Types.h"

namespace {

// A time or duration field: 64 bits in a version 1 box, else 32.
void XPutVersioned(CByteIOFile* io, bool v1, uint64_t value)
{
    if (v1) {
        io->PutBE64(value);
    } else {
        io->PutBE32(static_cast<uint32_t>(value));
    }
}

}  // namespace

CMP4Track::CMP4Track(int trackID)
    : m_TrackID(trackID),
      m_CreationTime(0),
      m_ModificationTime(0),
      m_LangID(0x55C4),
      m_Timescale(90000),
      m_CodecTag(0),
      m_Clusters(nullptr),
      m_lpFileIOCtx(nullptr)
{
}

CMP4Track::~CMP4Track() = default;

void CMP4Track::SetVideoPictureSize(int, int) {}

void CMP4Track::SetAudioInfo(int, int, int) {}

int CMP4Track::ISO639ToLang(const char* code)
{
    if (code == nullptr || code[0] == '\0') {
        code = "und";
    }
    int lang = 0;
    for (int i = 0; i < 3; ++i) {
        unsigned char c = static_cast<unsigned char>(code[i]);
        if (c < 0x60 || c - 0x60 > 0x1F) {
            return -1;
        }
        lang = (lang << 5) | (c - 0x60);
    }
    return lang;
}

void CMP4Track::SetLanguage(const char* code)
{
    m_LangID = static_cast<uint16_t>(ISO639ToLang(code));
}

int64_t CMP4Track::WriteTrakTag(CByteIOFile* io, CMovieEntry* clusters)
{
    m_lpFileIOCtx = io;
    m_Clusters = clusters;
    if (io == nullptr || clusters == nullptr) {
        return 0;
    }
    int64_t pos = io->URLFTell();
    if (pos < 0) {
        return 0;
    }
    io->PutBE32(0);
    io->PutTag("trak");
    WriteTkhdTag();
    WriteMdiaTag();
    int64_t size = io->UpdateSize(pos);
    return size > 0 ? size : 0;
}

bool CMP4Track::UseVersion1() const
{
    uint64_t own = static_cast<uint64_t>(m_Clusters->GetDuration());
    uint64_t movie = XMP4Rescale(own, m_Timescale, MP4_MOVIE_TIMESCALE);
    return own >= kTrackVersion1Duration || movie >= kTrackVersion1Duration;
}

void CMP4Track::WriteMatrix(CByteIOFile* io)
{
    static const uint32_t kMatrix[9] = {0x00010000, 0, 0, 0, 0x00010000, 0, 0, 0, 0x40000000};
    for (uint32_t v : kMatrix) {
        io->PutBE32(v);
    }
}

void CMP4Track::PutTimedBoxHead(CByteIOFile* io, const char* fourcc, uint32_t size, bool v1, uint32_t flags) const
{
    io->PutBE32(size);
    io->PutTag(fourcc);
    io->PutByte(v1 ? 1 : 0);
    io->PutBE24(flags);
    XPutVersioned(io, v1, m_CreationTime);
    XPutVersioned(io, v1, m_ModificationTime);
}

void CMP4Track::WriteTkhd(uint16_t volume, uint32_t width, uint32_t height)
{
    CByteIOFile* io = m_lpFileIOCtx;
    bool v1 = UseVersion1();
    uint64_t duration =
        XMP4Rescale(static_cast<uint64_t>(m_Clusters->GetDuration()), m_Timescale, MP4_MOVIE_TIMESCALE);
    PutTimedBoxHead(io, "tkhd", v1 ? 104 : 92, v1, 0x00000F);
    io->PutBE32(static_cast<uint32_t>(m_TrackID));
    io->PutBE32(0);
    XPutVersioned(io, v1, duration);
    io->PutZeros(8);   // reserved
    io->PutBE16(0);    // layer
    io->PutBE16(0);    // alternate_group
    io->PutBE16(volume);
    io->PutBE16(0);
    WriteMatrix(io);
    io->PutBE32(width);
    io->PutBE32(height);
}

void CMP4Track::WriteMdiaTag()
{
    CByteIOBox box(m_lpFileIOCtx, "mdia");
    WriteMdhdTag();
    WriteHdlrTag();
    WriteMinfTag();
}

void CMP4Track::WriteMdhdTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    bool v1 = UseVersion1();
    uint64_t duration = static_cast<uint64_t>(m_Clusters->GetDuration());
    PutTimedBoxHead(io, "mdhd", v1 ? 44 : 32, v1, 0);
    io->PutBE32(m_Timescale);
    XPutVersioned(io, v1, duration);
    io->PutBE16(m_LangID);
    io->PutBE16(0);
}

void CMP4Track::WriteHdlr(const char* handlerType, const char* name)
{
    CByteIOFile* io = m_lpFileIOCtx;
    CByteIOBox box(io, "hdlr");
    io->PutBE32(0);  // version, flags
    io->PutBE32(0);  // pre_defined
    io->PutTag(handlerType);
    io->PutZeros(12);
    // "VideoHandler" / "SoundHandler" with the terminating 0.
    io->PutBuffer(name, 13);
}

void CMP4Track::WriteMinfTag()
{
    CByteIOBox box(m_lpFileIOCtx, "minf");
    WriteMediaHeaderTag();
    WriteDinfTag();
    WriteStblTag();
}

void CMP4Track::WriteStblTag()
{
    CByteIOBox box(m_lpFileIOCtx, "stbl");
    WriteStsdBox();
    WriteSttsTag();
    if (HasSyncSampleTable()) {
        WriteStssTag();
    }
    WriteStscTag();
    WriteStszTag();
    WriteStcoTag();
}

void CMP4Track::WriteDinfTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    CByteIOBox box(io, "dinf");
    io->PutBE32(28);
    io->PutTag("dref");
    io->PutBE32(0);
    io->PutBE32(1);
    io->PutBE32(12);
    io->PutTag("url ");
    io->PutBE32(1);  // version 0, flags 1: the media is in this file
}

void CMP4Track::WriteStsdBox()
{
    CByteIOFile* io = m_lpFileIOCtx;
    CByteIOBox box(io, "stsd");
    io->PutBE32(0);
    io->PutBE32(1);
    WriteVideoTag();
    WriteAudioTag();
}

void CMP4Track::PutSampleEntryHeader(CByteIOFile* io)
{
    io->PutZeros(6);
    io->PutBE16(1);  // data_reference_index
}

void CMP4Track::WriteSttsTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t n = m_Clusters->GetSampleTimeEntrys();
    const tagMP4SampleTime* runs = m_Clusters->GetSampleTimes();
    io->PutBE32(16 + 8 * n);
    io->PutTag("stts");
    io->PutBE32(0);
    io->PutBE32(n);
    for (uint32_t i = 0; i < n; ++i) {
        io->PutBE32(runs[i].samples);
        io->PutBE32(runs[i].duration);
    }
}

template <class TPut>
void CMP4Track::WriteTableBox(const char* fourcc, uint32_t entries, TPut put)
{
    CByteIOFile* io = m_lpFileIOCtx;
    CByteIOBox box(io, fourcc);
    io->PutBE32(0);  // version, flags
    io->PutBE32(entries);
    for (uint32_t i = 0; i < entries; ++i) {
        put(io, i);
    }
}

void CMP4Track::WriteStssTag()
{
    const uint32_t* keys = m_Clusters->GetKeyFrames();
    WriteTableBox("stss", m_Clusters->GetKeyFrameEntrys(), [keys](CByteIOFile* io, uint32_t i) {
        io->PutBE32(keys[i]);
    });
}

void CMP4Track::WriteStscTag()
{
    // One row for each run of chunks with the same number of samples.
    const uint32_t n = m_Clusters->GetChunkEntrys();
    const tagMP4SampleChunk* chunks = m_Clusters->GetChunks();
    uint32_t rows = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (i == 0 || chunks[i].samples_in_chunk != chunks[i - 1].samples_in_chunk) {
            ++rows;
        }
    }
    uint32_t next = 0;
    WriteTableBox("stsc", rows, [chunks, n, &next](CByteIOFile* io, uint32_t) {
        const tagMP4SampleChunk& first = chunks[next];
        io->PutBE32(first.chunk_num);
        io->PutBE32(first.samples_in_chunk);
        io->PutBE32(1);  // sample_description_index
        do {
            ++next;
        } while (next < n && chunks[next].samples_in_chunk == first.samples_in_chunk);
    });
}

void CMP4Track::WriteStszTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t n = m_Clusters->GetEntrys();
    const uint32_t* sizes = m_Clusters->GetSampleSizes();
    CByteIOBox box(io, "stsz");
    io->PutBE32(0);
    if (m_Clusters->IsEqualSampleSize() && n > 0) {
        io->PutBE32(sizes[0] != 0 ? sizes[0] : 1);
        io->PutBE32(n);
    } else {
        io->PutBE32(0);
        io->PutBE32(n);
        for (uint32_t i = 0; i < n; ++i) {
            io->PutBE32(sizes[i]);
        }
    }
}

void CMP4Track::WriteStcoTag()
{
    uint32_t n = m_Clusters->GetChunkEntrys();
    const tagMP4SampleChunk* chunks = m_Clusters->GetChunks();
    // 64-bit offsets only when a chunk starts at 4 GiB or beyond; chunks lie
    // before moov, so a moov below 4 GiB always gets stco.
    bool co64 = false;
    for (uint32_t i = 0; i < n; ++i) {
        if (chunks[i].offset > 0xFFFFFFFFull) {
            co64 = true;
            break;
        }
    }
    WriteTableBox(co64 ? "co64" : "stco", n, [chunks, co64](CByteIOFile* io, uint32_t i) {
        if (co64) {
            io->PutBE64(chunks[i].offset);
        } else {
            io->PutBE32(static_cast<uint32_t>(chunks[i].offset));
        }
    });
}
