#ifndef RECORD_RECORDNOTIFY_H
#define RECORD_RECORDNOTIFY_H

// Where the record side sends its notices for the phone app: one JSON
// document per new or deleted file. The app channel registers itself as the
// receiver; without one, notices are dropped.
class CRecordNotify {
public:
    virtual ~CRecordNotify() = default;

    // A file was deleted; `length` is -1 when its document did not fit.
    virtual void NotifyFileDeleteUpdate(const char* json, int length) = 0;
    virtual void NotifyCommonVideoUpdate(const char* json, int length) = 0;
    virtual void NotifyAlarmVideoUpdate(const char* json, int length) = 0;
    virtual void NotifyAlarmJpgUpdate(const char* json, int length) = 0;

    // Installs the receiver (null removes it); the previous one is returned.
    // Notices are delivered under one lock that this call takes too: once it
    // returns, no notice reaches the previous receiver any more, so a
    // receiver removes itself before it is deleted. It must not be called
    // while holding a lock that the receiver's notices take (a receiver may
    // call it from inside its own notice).
    static CRecordNotify* SetReceiver(CRecordNotify* receiver);
    // The receiver, or null (a diagnostic: it may change at once).
    static CRecordNotify* GetReceiver();
};

// Each sends one notice to the receiver, if any.
void XNotifyFileDeleteUpdate(const char* json, int length);
void XNotifyCommonVideoUpdate(const char* json, int length);
void XNotifyAlarmVideoUpdate(const char* json, int length);
void XNotifyAlarmJpgUpdate(const char* json, int length);

#endif
