#include "Record/RecordNotify.h"

#include <atomic>

namespace {

std::atomic<CRecordNotify*> g_lpReceiver{nullptr};

}  // namespace

CRecordNotify* CRecordNotify::SetReceiver(CRecordNotify* receiver)
{
    return g_lpReceiver.exchange(receiver);
}

CRecordNotify* CRecordNotify::GetReceiver()
{
    return g_lpReceiver.load();
}

void XNotifyFileDeleteUpdate(const char* json, int length)
{
    CRecordNotify* receiver = CRecordNotify::GetReceiver();
    if (receiver != nullptr) {
        receiver->NotifyFileDeleteUpdate(json, length);
    }
}
