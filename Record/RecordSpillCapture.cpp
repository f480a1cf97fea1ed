// What the engine's flusher takes from the engine: the cached packets not
// spilled yet and the state the card scan needs to go on where the engine
// would have gone on (RecordSpillFormat.h).

#include "Record/MP4/MP4SkipBox.h"
#include "Record/Record.h"

namespace {

void XAddTrigger(tagRecordSpillState& state, const TimeTypeMapping* n)
{
    for (const tagRecordSpillTrigger& t : state.triggers) {
        if (t.trigger == static_cast<uint32_t>(n->trigger)) {
            return;
        }
    }
    if (state.triggers.size() < tagRecordSpillLimits::kMaxTriggers) {
        state.triggers.push_back({static_cast<uint32_t>(n->trigger), n->lefttime});
    }
}

}  // namespace

void CRecord::TakeSpill(CRecordSpill& spill, uint64_t from, tagRecordSpillState& state)
{
    m_lpRecorder->CollectRecoveryData();
    if (from == ~0ULL) {
        return;
    }
    const int flags = m_lpRecorder->GetFlag();
    const BOOL bRecording = (flags & emRecordFileFlag_Recording) != 0;
    const BOOL bParking = m_ParkingFlag.load();
    state.head = m_Ring.GetHeadSeq();
    if (!bParking) {
        for (const tagMediaDataInfo* p = m_Ring.GetHead(); p != nullptr; p = p->lpNext) {
            spill.PutPacket(p);
        }
    }
    uint64_t keep = state.head;
    if (bRecording) {
        const uint64_t durable = m_lpRecorder->GetDurableSeq();
        keep = durable != 0 ? durable + 1 : m_nOpenFirstSeq;
        if (keep == 0 || keep > state.head) {
            keep = state.head;
        }
    }
    state.keep = keep;
    state.flags = static_cast<uint8_t>(
        (bRecording ? RECORD_SPILL_RECORDING : 0) | ((flags & emRecordFileFlag_StartNext) ? RECORD_SPILL_START_NEXT : 0) |
        (m_emNextRecordFileType == emRecordFileType_Alarm ? RECORD_SPILL_NEXT_ALARM : 0) |
        ((flags & (emRecordFileFlag_Paused | emRecordFileFlag_Stopped)) ? RECORD_SPILL_HALTED : 0) |
        (bParking ? RECORD_SPILL_PARKING : 0));
    state.resFlag = static_cast<uint16_t>(m_ResFlag == 720 ? 720 : 1080);
    state.fps = static_cast<uint32_t>(m_RecordChnFps);
    state.timescale = static_cast<uint32_t>(m_TimeScale);
    state.width = m_RecordChnWidth;
    state.height = m_RecordChnHeight;
    state.thumbGranularity = m_CommonRecordThumbGranularity;
    const tagH264SPSPPS& spspps = m_Intake.GetSpsPps();
    state.sps.assign(spspps.sps, spspps.sps + (spspps.sps_len <= sizeof(spspps.sps) ? spspps.sps_len : 0));
    state.pps.assign(spspps.pps, spspps.pps + (spspps.pps_len <= sizeof(spspps.pps) ? spspps.pps_len : 0));
    if (bRecording) {
        const BOOL alarm = m_lpRecorder->GetRecordFileType() == emRecordFileType_Alarm;
        state.openType = static_cast<uint8_t>(alarm ? emRecordFileType_Alarm : emRecordFileType_Common);
        state.openFirst = m_nOpenFirstSeq;
        state.openTriggers = m_lpRecorder->GetTotalAlarmTrigger();
        char name[RECORD_NAME_BUF_SIZE] = {0};
        const CRecordFileName& fileName = alarm ? m_AlarmRecordFileName : m_CommonRecordFileName;
        if (fileName.GetFileName(nullptr, nullptr, "MP4", TRUE, FALSE, name)) {
            state.openName = name;
        }
    }
    if ((flags & emRecordFileFlag_StartNext) && m_emNextRecordFileType == emRecordFileType_Alarm) {
        // The triggers the alarm file would open with, as CheckStartRecord merges them.
        for (const TimeTypeMapping* n = m_lpNextRecordFileDuration; n != nullptr; n = n->next) {
            XAddTrigger(state, n);
        }
        for (const TimeTypeMapping* n = m_lpPrevRecordFileLeftDuration; n != nullptr; n = n->next) {
            if (n->trigger != emRecordTriggerType_Common) {
                XAddTrigger(state, n);
            }
        }
        for (const CAssociatedData* d = m_lpNextRecordFileAssociatedData;
             d != nullptr && state.snapshots.size() < tagRecordSpillLimits::kMaxSnapshots * MP4_ASCT_RECORD_SIZE;
             d = d->GetNext()) {
            uint8_t rec[MP4_ASCT_RECORD_SIZE];
            XMP4EncodeAsctRecord(*d, rec);
            state.snapshots.insert(state.snapshots.end(), rec, rec + sizeof(rec));
        }
    }
}

BOOL CRecord::WriteTakenRecoveryData()
{
    return m_lpRecorder->WriteRecoveryData();
}
