#include "Record/MP4/MP4AudioAACTrack.h"

#include <cstring>

#include "Record/MP4/ByteIOFile.h"

CMP4AudioAACTrack::CMP4AudioAACTrack(int trackID) : CMP4AudioTrack(trackID), m_SpecificInfo()
{
    m_CodecTag = 0x6D703461;  // "mp4a"
}

BOOL CMP4AudioAACTrack::SetVosData(const void* data, int len)
{
    if (len < 0 || len > MP4_VOS_UNIT_MAX || (len > 0 && data == nullptr)) {
        return 0;
    }
    m_SpecificInfo.size = XMP4CopyVosUnit(m_SpecificInfo.szInfo, data, static_cast<size_t>(len));
    return 1;
}

void CMP4AudioAACTrack::WriteAudioTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    CByteIOBox box(io, "mp4a");
    PutSampleEntryHeader(io);
    io->PutZeros(8);
    io->PutBE16(static_cast<uint16_t>(m_Channel));
    io->PutBE16(static_cast<uint16_t>(m_SampleSize));
    io->PutBE16(0);
    io->PutBE16(static_cast<uint16_t>(m_FrameSize));
    io->PutBE32(m_Timescale << 16);
    WriteEsdsTag();
}

void CMP4AudioAACTrack::WriteEsdsTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    uint32_t len = static_cast<uint32_t>(m_SpecificInfo.size);
    uint32_t d = len > 0 ? len + 5 : 0;
    CByteIOBox box(io, "esds");
    io->PutBE32(0);

    io->PutDescr(0x03, d + 27);  // ES_Descriptor
    io->PutBE16(static_cast<uint16_t>(m_TrackID));
    io->PutByte(0);

    io->PutDescr(0x04, d + 13);  // DecoderConfigDescriptor
    io->PutByte(0x40);           // MPEG-4 audio
    io->PutByte(0x15);           // audio stream
    io->PutBE24(0);              // bufferSizeDB
    io->PutBE32(64000);          // maxBitrate
    io->PutBE32(ComputeAvgBitrate());
    if (len > 0) {
        io->PutDescr(0x05, len);  // DecoderSpecificInfo
        io->PutBuffer(m_SpecificInfo.szInfo, len);
    }

    io->PutDescr(0x06, 1);  // SLConfigDescriptor
    io->PutByte(0x02);
}
