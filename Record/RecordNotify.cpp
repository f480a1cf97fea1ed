#include "Record/RecordNotify.h"

#include <mutex>

namespace {

// Made before main, so it is there for any notice sent while statics are
// deleted at exit. Recursive: a receiver may remove itself from a notice.
std::recursive_mutex g_ReceiverLock;
CRecordNotify* g_lpReceiver = nullptr;

template <typename Send>
void XDeliver(Send send)
{
    std::lock_guard<std::recursive_mutex> lock(g_ReceiverLock);
    if (g_lpReceiver != nullptr) {
        send(*g_lpReceiver);
    }
}

}  // namespace

CRecordNotify* CRecordNotify::SetReceiver(CRecordNotify* receiver)
{
    std::lock_guard<std::recursive_mutex> lock(g_ReceiverLock);
    CRecordNotify* previous = g_lpReceiver;
    g_lpReceiver = receiver;
    return previous;
}

CRecordNotify* CRecordNotify::GetReceiver()
{
    std::lock_guard<std::recursive_mutex> lock(g_ReceiverLock);
    return g_lpReceiver;
}

void XNotifyFileDeleteUpdate(const char* json, int length)
{
    XDeliver([&](CRecordNotify& r) { r.NotifyFileDeleteUpdate(json, length); });
}

void XNotifyCommonVideoUpdate(const char* json, int length)
{
    XDeliver([&](CRecordNotify& r) { r.NotifyCommonVideoUpdate(json, length); });
}

void XNotifyAlarmVideoUpdate(const char* json, int length)
{
    XDeliver([&](CRecordNotify& r) { r.NotifyAlarmVideoUpdate(json, length); });
}

void XNotifyAlarmJpgUpdate(const char* json, int length)
{
    XDeliver([&](CRecordNotify& r) { r.NotifyAlarmJpgUpdate(json, length); });
}
