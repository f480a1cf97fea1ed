#ifndef PERIPHERY_SDMANAGER_H
#define PERIPHERY_SDMANAGER_H

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Function/types.h"
#include "MultiTask/Mutex.h"
#include "MultiTask/Singleton.h"
#include "Periphery/SDSystem.h"

class CSDRecordClient;

// State bits of the card, handed to every state callback.
typedef enum emSDState {
    emSDState_Insert = 1,
    emSDState_Mount = 2,
    emSDState_ReadOnly = 4,
    emSDState_WriteProtect = 8,
} emSDState;

// Inserted and mounted, neither read-only nor write-protected: files may be written.
inline bool XSDStateWritable(int state)
{
    return (state & (emSDState_Insert | emSDState_Mount)) == (emSDState_Insert | emSDState_Mount) &&
           (state & (emSDState_ReadOnly | emSDState_WriteProtect)) == 0;
}

// A state callback: `state` is the emSDState bit set; the result is ignored.
typedef int (*SD_STATE_CALLBACK_FUN)(int state, void* priv);

typedef struct tagSDStateCBInfo {
    SD_STATE_CALLBACK_FUN cb_fun;  // null: empty slot
    void* priv_data;               // handed back to cb_fun
} SDStateCBInfo;

#define SD_STATE_CALLBACK_MAX 16
// "Low" free space: at most this many bytes.
#define SD_FREE_SPACE_THRESHOLD 536870912ULL
// SD host controller: bit 0 is 0 while a card is in the slot.
#define SD_CARD_DETECT_ADDR 0x10020050u
// SD host controller: bit 0 is 1 while the write-protect switch is on.
#define SD_WRITE_PROTECT_ADDR 0x10020054u

// The SD card: presence and write protect from the SD controller, the first
// partition /dev/mmcblkNpM checked when it was left dirty and mounted under
// /tmp/mmcN, read-only state, format, the free-space policy, and state
// callbacks.
//
// Threads and locks. CheckSDCard and CheckSDCardFreeSpace run on the
// supervision loop, Format on an app thread. These three card operations are
// serialised by one card lock: a poll or free-space pass that finds it held
// (a format runs) returns at once; Format waits for a pass in progress. State
// callbacks are called with the card lock held but never with the data lock
// (m_Mutex), which only guards the names and the space query, nor with the
// callback table's own lock. The lock order is: card lock, then any manager's
// own lock (the recording engine's, taken in its callback), then m_Mutex. So a
// manager holding its own lock may call the getters and GetDiskSpaceInfo, but
// never a card operation.
//
// Names kept and handed out are the device's paths ("/dev/mmcblk0p1",
// "/tmp/mmc0"); file access goes through XBoardPath.
class CSDManager : public CSingleton<CSDManager> {
public:
    // A manager on the given system calls (not owned); the process's own
    // manager is instance(), on the system's own calls.
    explicit CSDManager(CSDSystem* pSystem);
    ~CSDManager();
    CSDManager(const CSDManager&) = delete;
    CSDManager& operator=(const CSDManager&) = delete;

    // The emSDState bits, read without a lock.
    int GetSDSate() const;
    // The mount folder with a trailing '/'; 0 unless the card is inserted and
    // mounted (and no format runs) or when `size` is too small.
    BOOL GetSDMountPath(char* path, size_t size = 257);
    // The poll: returns the state bits; 1 at once while a format runs; 0 when
    // a new card's partition node cannot be found (tried again next time).
    int CheckSDCard();
    // Deletes alarm files over quota and then oldest loop videos until more
    // than SD_FREE_SPACE_THRESHOLD bytes are free; stops recording when there
    // is nothing left to delete.
    void CheckSDCardFreeSpace();
    // Total and free bytes of the mounted card.
    BOOL GetDiskSpaceInfo(uint64_t* total, uint64_t* freeBytes);
    // Callbacks are called in registration order; a pair already registered
    // and a 17th registration are refused. A notification calls the pairs
    // registered when it starts, less those unregistered before their turn.
    BOOL RegisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv);
    // Once it returns, the pair is not called again and no call of it runs
    // on another thread: it waits for such a call to end, so the caller must
    // not hold a lock the callback takes. From inside the callback itself
    // it returns at once.
    BOOL UnregisterSDStateCallback(SD_STATE_CALLBACK_FUN fun, void* priv);
    // 0 formatted, -1 no card, -2 the unmount failed, -3 the format failed.
    int Format();
    // Set while a format is asked for or runs (Format sets it itself).
    void SetFormatStatusFlag(BOOL flag);
    BOOL GetFormatStatusFlag() const;
    // Set while recording stands stopped by the free-space policy for want of
    // room (nothing left to delete); cleared by the next state notification,
    // after which the recording engine starts again, and by a policy pass
    // that finds recording running.
    BOOL GetNoSpaceFlag() const;
    // The recording engine used by the free-space policy (none: no policy).
    void SetRecordClient(CSDRecordClient* client);
    // The card in the slot was left dirty and its file-system check could
    // not repair it: it is not mounted until it is taken out (or formatted).
    BOOL GetCardCheckFailed() const;

private:
    friend class CSingleton<CSDManager>;
    CSDManager();

    BOOL SDInserted(BOOL& bInserted);
    BOOL SDWriteProtect();
    BOOL SDReadOnly(int disk);
    int GetSDFirstPartitionDevNodeName(char* name, size_t size);
    // 1 when the card's line is on `mountdir`; *pReadable (if given) is 0
    // when the mount table could not be read.
    BOOL CheckMountedStatus(const char* devname, const char* mountdir, BOOL& bMounted, BOOL& bReadOnly,
                            BOOL* pReadable = nullptr);
    // *pCheckFailed (if given) is 1 when the card was not mounted because
    // its file-system check failed.
    BOOL Mount(const char* dev, const char* target, BOOL& bReadOnly, BOOL* pCheckFailed = nullptr);
    // Before the mount: a card left dirty goes through the file system's own
    // repair. 0 when the repair failed and the card must not be mounted.
    BOOL CheckFileSystem(const std::string& rdev);
    // Unmounts the folder: with bDetach one try and then a lazy unmount (the
    // card is gone), else up to five tries a second apart.
    BOOL Unmount(const char* dir, BOOL bDetach);
    BOOL SDFormat(const char* dev);
    // Before mkdosfs: 1 when the partition is in no line of the mount table,
    // after unmounting `dir` where the table lists it there. With an
    // unreadable table, 1 only when the folder was just unmounted
    // (bJustUnmounted, or here).
    BOOL UnmountedForFormat(const char* part, const char* dir, BOOL bJustUnmounted);
    void SDStateNotify(int state);
    // With m_CallbackLock held.
    bool IsRegistered(const SDStateCBInfo& info) const;
    bool IsCalledElsewhere(SD_STATE_CALLBACK_FUN fun, void* priv, std::thread::id self) const;

    BOOL CardArrived();
    void CardRemoved();
    void CheckMountedCard();
    BOOL RemountReadWrite(const char* dir);
    void SetState(int state);
    void ClearNames(BOOL bPartName);

    std::atomic<int> m_SDState;
    char m_szFirstPartName[256];   // e.g. /dev/mmcblk0p1; guarded by m_Mutex
    char m_szMountPath[256];       // e.g. /tmp/mmc0; guarded by m_Mutex
    std::atomic<BOOL> m_PauseSD;   // a format runs
    std::atomic<BOOL> m_FormatingSD;
    std::atomic<BOOL> m_bNoSpace;  // recording stopped for want of room
    std::atomic<BOOL> m_CardCheckFailed;
    // One callback running, on `thread`.
    struct tagSDStateCall {
        SDStateCBInfo info;
        std::thread::id thread;
    };
    SDStateCBInfo m_StateNotifier[SD_STATE_CALLBACK_MAX];  // filled from slot 0, in registration order
    int m_nNotifierCount;
    std::vector<tagSDStateCall> m_Calls;    // the callbacks running now
    std::mutex m_CallbackLock;              // the table and m_Calls; nothing is taken under it
    std::condition_variable m_CallEnded;
    CMutex m_Mutex;                     // data lock
    std::recursive_mutex m_CardLock;    // card operations: poll, free-space pass, format
    int m_nOldState;                    // presence at the last poll: 0 present, 1 absent, -1 unknown
    int m_nDisk;                        // disk number of the card found, -1 none
    CSDSystem m_OwnSystem;  // the process manager's
    CSDSystem* m_pSystem;
    std::atomic<CSDRecordClient*> m_pRecordClient;
};

#endif
