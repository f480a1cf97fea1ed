#include "Record/MP4/MP4VideoH264Track.h"

#include <cstring>

#include "Record/MP4/ByteIOFile.h"

CMP4VideoH264Track::CMP4VideoH264Track(int trackID) : CMP4VideoTrack(trackID), m_VosData()
{
    m_CodecTag = 0x61766331;  // "avc1"
}

BOOL CMP4VideoH264Track::IsValidSpsPps(const tagH264SPSPPS* spspps)
{
    return spspps != nullptr && spspps->sps_len >= MP4_SPS_MIN_LEN && spspps->sps_len <= MP4_VOS_UNIT_MAX &&
           spspps->pps_len >= 1 && spspps->pps_len <= MP4_VOS_UNIT_MAX;
}

BOOL CMP4VideoH264Track::SetVosData(const void* data, int)
{
    const tagH264SPSPPS* spspps = static_cast<const tagH264SPSPPS*>(data);
    if (!IsValidSpsPps(spspps)) {
        return 0;
    }
    m_VosData.sps_size = XMP4CopyVosUnit(m_VosData.sps, spspps->sps, spspps->sps_len);
    m_VosData.pps_size = XMP4CopyVosUnit(m_VosData.pps, spspps->pps, spspps->pps_len);
    return 1;
}

void CMP4VideoH264Track::WriteVideoTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    CByteIOBox box(io, "avc1");
    PutSampleEntryHeader(io);
    io->PutBE16(0);   // pre_defined
    io->PutBE16(0);   // reserved
    io->PutZeros(12); // pre_defined
    io->PutBE16(static_cast<uint16_t>(m_VideoWidth));
    io->PutBE16(static_cast<uint16_t>(m_VideoHeight));
    io->PutBE32(0x00480000);
    io->PutBE32(0x00480000);
    io->PutBE32(0);
    io->PutBE16(1);   // frame_count
    io->PutZeros(32); // compressorname: length 0
    io->PutBE16(0x0018);
    io->PutBE16(0xFFFF);

    CByteIOBox avcc(io, "avcC");
    io->PutByte(1);
    // profile_idc, constraint flags, level_idc (SPS bytes 1-3; the SPS holds
    // at least 4 bytes, see SetVosData).
    if (m_VosData.sps_size >= MP4_SPS_MIN_LEN) {
        io->PutBuffer(m_VosData.sps + 1, 3);
    } else {
        io->PutZeros(3);
    }
    io->PutByte(0xFF);  // 4-byte NAL lengths
    io->PutByte(0xE1);  // one SPS
    io->PutBE16(static_cast<uint16_t>(m_VosData.sps_size));
    io->PutBuffer(m_VosData.sps, static_cast<size_t>(m_VosData.sps_size));
    io->PutByte(1);     // one PPS
    io->PutBE16(static_cast<uint16_t>(m_VosData.pps_size));
    io->PutBuffer(m_VosData.pps, static_cast<size_t>(m_VosData.pps_size));
}
