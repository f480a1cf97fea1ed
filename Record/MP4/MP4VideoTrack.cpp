#include "Record/MP4/MP4VideoTrack.h"

#include "Record/MP4/ByteIOFile.h"

CMP4VideoTrack::CMP4VideoTrack(int trackID) : CMP4Track(trackID), m_VideoWidth(1920), m_VideoHeight(1080) {}

void CMP4VideoTrack::SetVideoPictureSize(int width, int height)
{
    m_VideoWidth = width;
    m_VideoHeight = height;
}

void CMP4VideoTrack::WriteTkhdTag()
{
    // 16.16 fixed point.
    WriteTkhd(0, static_cast<uint32_t>(m_VideoWidth) << 16, static_cast<uint32_t>(m_VideoHeight) << 16);
}

void CMP4VideoTrack::WriteHdlrTag()
{
    WriteHdlr("vide", "VideoHandler");
}

void CMP4VideoTrack::WriteMediaHeaderTag()
{
    CByteIOFile* io = m_lpFileIOCtx;
    io->PutBE32(20);
    io->PutTag("vmhd");
    io->PutBE32(1);  // version 0, flags 1
    io->PutZeros(8); // graphicsmode, opcolor
}
