#include "Record/MP4/MP4AudioTrack.h"

#include "Record/MP4/ByteIOFile.h"
#include "Record/MP4/MP4MovieEntry.h"
#include "Record/MP4/MP4Types.h"

CMP4AudioTrack::CMP4AudioTrack(int trackID) : CMP4Track(trackID), m_Channel(2), m_SampleSize(16), m_FrameSize(0) {}

void CMP4AudioTrack::SetAudioInfo(int channels, int sampleSize, int frameSize)
{
    m_Channel = channels;
    m_SampleSize = sampleSize;
    m_FrameSize = frameSize;
}

uint32_t CMP4AudioTrack::ComputeAvgBitrate() const
{
    if (m_Clusters == nullptr || m_Clusters->GetDuration() <= 0) {
        return 0;
    }
    uint64_t bits = static_cast<uint64_t>(m_Clusters->GetSize()) * 8u;
    uint64_t duration = static_cast<uint64_t>(m_Clusters->GetDuration());
    // bits * timescale / duration, without overflowing the product.
    uint64_t rate = (bits / duration) * m_Timescale + (bits % duration) * m_Timescale / duration;
    return static_cast<uint32_t>(rate);
}

void CMP4AudioTrack::WriteTkhdTag()
{
    WriteTkhd(0x0100, 0, 0);
}

void CMP4AudioTrack::WriteHdlrTag()
{
    WriteHdlr("soun", "SoundHandler");
}

void CMP4AudioTrack::WriteMediaHeaderTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    io->PutBE32(16);
    io->PutTag("smhd");
    io->PutBE32(0);
    io->PutBE16(0);  // balance
    io->PutBE16(0);
}
