#include "Record/MP4Track.h"

#include "Record/ByteIOFile.h"
#include "Record/MP4MovieEntry.h"
#include "Record/MP4Types.h"

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

void CMP4Track::WriteTkhd(uint16_t volume, uint32_t width, uint32_t height)
{
    CByteIOFile* io = m_lpFileIOCtx;
    bool v1 = UseVersion1();
    uint64_t duration =
        XMP4Rescale(static_cast<uint64_t>(m_Clusters->GetDuration()), m_Timescale, MP4_MOVIE_TIMESCALE);
    io->PutBE32(v1 ? 104 : 92);
    io->PutTag("tkhd");
    io->PutByte(v1 ? 1 : 0);
    io->PutBE24(0x00000F);
    if (v1) {
        io->PutBE64(m_CreationTime);
        io->PutBE64(m_ModificationTime);
    } else {
        io->PutBE32(static_cast<uint32_t>(m_CreationTime));
        io->PutBE32(static_cast<uint32_t>(m_ModificationTime));
    }
    io->PutBE32(static_cast<uint32_t>(m_TrackID));
    io->PutBE32(0);
    if (v1) {
        io->PutBE64(duration);
    } else {
        io->PutBE32(static_cast<uint32_t>(duration));
    }
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
    CByteIOFile* io = m_lpFileIOCtx;
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("mdia");
    WriteMdhdTag();
    WriteHdlrTag();
    WriteMinfTag();
    io->UpdateSize(pos);
}

void CMP4Track::WriteMdhdTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    bool v1 = UseVersion1();
    uint64_t duration = static_cast<uint64_t>(m_Clusters->GetDuration());
    io->PutBE32(v1 ? 44 : 32);
    io->PutTag("mdhd");
    io->PutByte(v1 ? 1 : 0);
    io->PutBE24(0);
    if (v1) {
        io->PutBE64(m_CreationTime);
        io->PutBE64(m_ModificationTime);
        io->PutBE32(m_Timescale);
        io->PutBE64(duration);
    } else {
        io->PutBE32(static_cast<uint32_t>(m_CreationTime));
        io->PutBE32(static_cast<uint32_t>(m_ModificationTime));
        io->PutBE32(m_Timescale);
        io->PutBE32(static_cast<uint32_t>(duration));
    }
    io->PutBE16(m_LangID);
    io->PutBE16(0);
}

void CMP4Track::WriteHdlr(const char* handlerType, const char* name)
{
    CByteIOFile* io = m_lpFileIOCtx;
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("hdlr");
    io->PutBE32(0);  // version, flags
    io->PutBE32(0);  // pre_defined
    io->PutTag(handlerType);
    io->PutZeros(12);
    // "VideoHandler" / "SoundHandler" with the terminating 0.
    io->PutBuffer(name, 13);
    io->UpdateSize(pos);
}

void CMP4Track::WriteDinfTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("dinf");
    io->PutBE32(28);
    io->PutTag("dref");
    io->PutBE32(0);
    io->PutBE32(1);
    io->PutBE32(12);
    io->PutTag("url ");
    io->PutBE32(1);  // version 0, flags 1: the media is in this file
    io->UpdateSize(pos);
}

void CMP4Track::WriteStsdBox()
{
    CByteIOFile* io = m_lpFileIOCtx;
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("stsd");
    io->PutBE32(0);
    io->PutBE32(1);
    WriteVideoTag();
    WriteAudioTag();
    io->UpdateSize(pos);
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

void CMP4Track::WriteStssTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t n = m_Clusters->GetKeyFrameEntrys();
    const uint32_t* keys = m_Clusters->GetKeyFrames();
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("stss");
    io->PutBE32(0);
    io->PutBE32(n);
    for (uint32_t i = 0; i < n; ++i) {
        io->PutBE32(keys[i]);
    }
    io->UpdateSize(pos);
}

void CMP4Track::WriteStscTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t n = m_Clusters->GetChunkEntrys();
    const tagMP4SampleChunk* chunks = m_Clusters->GetChunks();
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("stsc");
    io->PutBE32(0);
    int64_t countPos = io->URLFTell();
    io->PutBE32(0);
    uint32_t entries = 0;
    uint32_t last = 0;
    for (uint32_t i = 0; i < n; ++i) {
        if (i == 0 || chunks[i].samples_in_chunk != last) {
            io->PutBE32(chunks[i].chunk_num);
            io->PutBE32(chunks[i].samples_in_chunk);
            io->PutBE32(1);
            last = chunks[i].samples_in_chunk;
            entries++;
        }
    }
    int64_t end = io->URLFTell();
    io->URLFSeek(countPos, 0);
    io->PutBE32(entries);
    io->URLFSeek(end, 0);
    io->UpdateSize(pos);
}

void CMP4Track::WriteStszTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t n = m_Clusters->GetEntrys();
    const uint32_t* sizes = m_Clusters->GetSampleSizes();
    int64_t pos = io->URLFTell();
    io->PutBE32(0);
    io->PutTag("stsz");
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
    io->UpdateSize(pos);
}

void CMP4Track::WriteStcoTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t n = m_Clusters->GetChunkEntrys();
    const tagMP4SampleChunk* chunks = m_Clusters->GetChunks();
    int64_t pos = io->URLFTell();
    // 64-bit offsets only when a chunk starts at 4 GiB or beyond; chunks lie
    // before moov, so a moov below 4 GiB always gets stco.
    bool co64 = false;
    for (uint32_t i = 0; i < n; ++i) {
        if (chunks[i].offset > 0xFFFFFFFFull) {
            co64 = true;
            break;
        }
    }
    io->PutBE32(0);
    io->PutTag(co64 ? "co64" : "stco");
    io->PutBE32(0);
    io->PutBE32(n);
    for (uint32_t i = 0; i < n; ++i) {
        if (co64) {
            io->PutBE64(chunks[i].offset);
        } else {
            io->PutBE32(static_cast<uint32_t>(chunks[i].offset));
        }
    }
    io->UpdateSize(pos);
}
