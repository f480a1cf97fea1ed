#ifndef HTTPSERVER_HTTPSERVER_H
#define HTTPSERVER_HTTPSERVER_H

#include <atomic>

#include "Function/types.h"
#include "MultiTask/Thread.h"

class CSDManager;

// The web server: its thread runs the HTTP engine; the document root follows
// the SD card (its mount folder while inserted and mounted, else /tmp).
class CHttpServer : public CThread {
public:
    static CHttpServer* instance();

    // Engine, SD callback, thread; 1 only when all three stand.
    BOOL Init();
    // Stops the thread and waits for it (safe when it never ran).
    void StopThread();
    // Thread, engine, SD callback.
    void CleanUp();
    void ThreadProc() override;

    // The SD manager whose card the root follows (default: the process's).
    void SetSDManager(CSDManager* pManager);
    static int SDCardStateChange(int state, void* priv);
    int OnSDCardStateChange(int state);

private:
    CHttpServer();
    ~CHttpServer() override;

    int m_HTTPPort;
    std::atomic<CSDManager*> m_pSDManager;
    BOOL m_bEngine;
    BOOL m_bRegistered;
};

#endif
