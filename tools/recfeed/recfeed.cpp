// recfeed [--no-journal] [--power-cut] CARD_DIR SECONDS [ALARM_AT_SECOND ...]
//
// Feeds SECONDS of encoded packets (libx264 1080p30 main stream, the small
// JPEG stream, fdk-aac) on a recorded clock through the recording engine
// and the MP4 writer into CARD_DIR/DCIM, as if the capture thread had
// delivered them, raises an acceleration alarm at each given second, then
// stops recording as shut-down does. Closed files are finished as the camera
// finishes them: final names with their durations, title images in 103thumb
// and 105thumb, thumbnail archives in 102thumb. At the end the three index
// lists are printed, one document a line after "INDEX LISTS:".
// The recovery journal and the spilled packet cache are flushed once per
// recorded second, as the camera's flusher does once a second.
// --no-journal records without either; --power-cut ends as a power cut
// does instead: right after the last flush the program exits, the cache not
// written to the file, the open file unfinished under its recording name.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include "Record/MP4/MP4File.h"
#include "Record/Record.h"
#include "Record/RecordPacker.h"
#include "../../tests/Record/RecordFeeder.h"
#include "../../tests/Record/RecordTestCard.h"
#include "tools/recfeed/ToolBoard.h"

int main(int argc, char** argv)
{
    const char* prog = argv[0];
    BOOL bJournal = TRUE;
    BOOL bPowerCut = FALSE;
    while (argc > 1 && strncmp(argv[1], "--", 2) == 0) {
        if (strcmp(argv[1], "--no-journal") == 0) {
            bJournal = FALSE;
        } else if (strcmp(argv[1], "--power-cut") == 0) {
            bPowerCut = TRUE;
        } else {
            fprintf(stderr, "unknown option %s\n", argv[1]);
            return 2;
        }
        ++argv;
        --argc;
    }
    if (argc < 3) {
        fprintf(stderr, "usage: %s [--no-journal] [--power-cut] CARD_DIR SECONDS [ALARM_AT_SECOND ...]\n", prog);
        return 2;
    }
    char* end = nullptr;
    const long seconds = strtol(argv[2], &end, 10);
    if (*end != '\0' || seconds <= 0) {
        fprintf(stderr, "SECONDS must be a positive number\n");
        return 2;
    }
    std::set<long> alarms;
    for (int i = 3; i < argc; ++i) {
        const long s = strtol(argv[i], &end, 10);
        if (*end != '\0' || s < 0) {
            fprintf(stderr, "bad alarm second %s\n", argv[i]);
            return 2;
        }
        alarms.insert(s);
    }
    CToolBoard board(argv[1]);
    if (!board.Ok()) {
        return 1;
    }
    CFolderCard* card = new CFolderCard();
    CMP4File* writer = new CMP4File(bJournal);
    CRecord record(writer, card, new CRecordPacker());
    if (record.EnableSpill()) {
        record.SetRecoveryPeriod(0);  // flushed below, per recorded second
    }
    tagRecordFeederConfig cfg;
    cfg.width = 1920;
    cfg.height = 1080;
    cfg.bitrateKbps = 8192;
    cfg.poolFrames = 90;  // three GOPs, replayed
    cfg.bDeviceNalRefIdc = TRUE;
    record.Init(cfg.fps, cfg.gop, static_cast<unsigned>(cfg.width), static_cast<unsigned>(cfg.height));
    card->Notify(emSDState_Insert | emSDState_Mount);
    record.ResumeCommonRecord();
    CRecordFeeder feeder(record, cfg);
    if (!feeder.Ok()) {
        fprintf(stderr, "the codec fixtures could not be opened\n");
        return 1;
    }
    for (long s = 0; s < seconds; ++s) {
        if (alarms.count(s) != 0) {
            record.StartAlarmRecord(emAlarmType_Accelerate, 'A');
        }
        feeder.Feed(cfg.fps);
        if (!record.FlushRecoveryData()) {
            fprintf(stderr, "the recovery data did not reach the card at second %ld\n", s);
        }
    }
    if (bPowerCut) {
        printf("POWER CUT\n");
        fflush(stdout);
        _exit(0);
    }
    record.StopAllRecord(1, 1);
    std::vector<char> list(1 << 20);
    const int size = static_cast<int>(list.size());
    printf("INDEX LISTS:\n");
    int status = 0;
    for (int kind = 0; kind < 3; ++kind) {
        const int n = kind == 0   ? record.GetCommonVideoFileAsJson(list.data(), size)
                      : kind == 1 ? record.GetAlarmVideoFileAsJSON(list.data(), size)
                                  : record.GetAlarmImgFileAsJSON(list.data(), size);
        if (n < 0) {
            fprintf(stderr, "index list %d could not be made\n", kind);
            status = 1;
            continue;
        }
        printf("%.*s\n", n, list.data());
    }
    fflush(stdout);
    record.CleanUp();
    return status;
}
