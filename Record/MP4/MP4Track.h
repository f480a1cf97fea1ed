#ifndef RECORD_MP4_MP4TRACK_H
#define RECORD_MP4_MP4TRACK_H

// One track of a recording: writes the whole trak tree into the muxer's
// buffer from the track's sample tables.

#include <cstdint>

#include "Function/types.h"

class CByteIOFile;
class CMovieEntry;

class CMP4Track {
public:
    explicit CMP4Track(int trackID);
    virtual ~CMP4Track();
    CMP4Track(const CMP4Track&) = delete;
    CMP4Track& operator=(const CMP4Track&) = delete;

    // Writes trak at the logical position of io. Its size, or 0 when io or
    // clusters is missing or the box could not be written.
    virtual int64_t WriteTrakTag(CByteIOFile* io, CMovieEntry* clusters);
    virtual void SetVideoPictureSize(int width, int height);
    virtual void SetAudioInfo(int channels, int sampleSize, int frameSize);
    virtual BOOL SetVosData(const void* data, int len) = 0;

    void SetLanguage(const char* code);
    void SetTimeScale(uint32_t ticks) { m_Timescale = ticks; }
    void SetTimes(uint64_t creation, uint64_t modification)
    {
        m_CreationTime = creation;
        m_ModificationTime = modification;
    }

    int GetTrackID() const { return m_TrackID; }
    uint32_t GetTimeScale() const { return m_Timescale; }
    uint16_t GetLangID() const { return m_LangID; }
    uint32_t GetCodecTag() const { return m_CodecTag; }

    // Packed ISO 639-2 code: three 5-bit letters (letter - 0x60), first
    // highest; "" means "und"; -1 for a letter below 0x60 or a short code.
    static int ISO639ToLang(const char* code);

    // Summed durations (own timescale) from which tkhd and mdhd use version 1.
    static constexpr uint64_t kTrackVersion1Duration = 0x7FFFFFFFull;

protected:
    virtual void WriteTkhdTag() = 0;
    virtual void WriteHdlrTag() = 0;
    // The media's own header box inside minf (vmhd, smhd).
    virtual void WriteMediaHeaderTag() = 0;
    // Whether stbl lists sync samples (stss).
    virtual bool HasSyncSampleTable() const = 0;
    virtual void WriteVideoTag() {}
    virtual void WriteAudioTag() {}

    // Shared box writers for the derived tracks.
    // Size, type, version, flags, then the creation and modification times
    // of tkhd and mdhd (64 bits in version 1).
    void PutTimedBoxHead(CByteIOFile* io, const char* fourcc, uint32_t size, bool v1, uint32_t flags) const;
    void WriteTkhd(uint16_t volume, uint32_t width, uint32_t height);
    void WriteMdiaTag();
    void WriteMdhdTag();
    void WriteHdlr(const char* handlerType, const char* name);
    void WriteMinfTag();
    void WriteDinfTag();
    void WriteStblTag();
    void WriteStsdBox();
    // The start of every sample entry: six reserved bytes and the
    // data_reference_index 1.
    static void PutSampleEntryHeader(CByteIOFile* io);
    void WriteSttsTag();
    void WriteStssTag();
    // A full box of version 0: the entry count, then put(io, i) for each entry.
    template <class TPut>
    void WriteTableBox(const char* fourcc, uint32_t entries, TPut put);
    void WriteStscTag();
    void WriteStszTag();
    void WriteStcoTag();
    static void WriteMatrix(CByteIOFile* io);
    // 1 when tkhd and mdhd need 64-bit times and durations.
    bool UseVersion1() const;

    const int m_TrackID;
    uint64_t m_CreationTime;
    uint64_t m_ModificationTime;
    uint16_t m_LangID;
    uint32_t m_Timescale;
    uint32_t m_CodecTag;
    CMovieEntry* m_Clusters;
    CByteIOFile* m_lpFileIOCtx;
};

#endif
