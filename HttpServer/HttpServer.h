#ifndef HTTPSERVER_HTTPSERVER_H
#define HTTPSERVER_HTTPSERVER_H

#include <atomic>

#include "Function/types.h"
#include "HttpServer/HttpEngineLinks.h"
#include "MultiTask/Singleton.h"
#include "MultiTask/Thread.h"
#include "Roles/CardFiles.h"

// What the server runs on, bound before Init (without either Init fails):
// the card whose root it follows, and the links its engine is started with.
typedef struct tagHttpServerRoles {
    CCardFiles* card;
    CHttpEngineLinks* engine;
} HttpServerRoles;

// The web server: its thread runs the HTTP engine; the document root follows
// the SD card (its mount folder while inserted and mounted, else /tmp).
class CHttpServer : public CThread, public CSingleton<CHttpServer> {
public:
    // Not owned.
    void Bind(const HttpServerRoles& roles);
    // Engine, SD callback, thread; 1 only when all three stand.
    BOOL Init();
    // Stops the thread and waits for it (safe when it never ran).
    void StopThread();
    // Thread, engine, SD callback.
    void CleanUp();
    void ThreadProc() override;

    static int SDCardStateChange(int state, void* priv);
    int OnSDCardStateChange(int state);

private:
    friend class CSingleton<CHttpServer>;
    CHttpServer();
    ~CHttpServer() override;

    int m_HTTPPort;
    std::atomic<CCardFiles*> m_pCard;
    CHttpEngineLinks* m_pEngineLinks;
    BOOL m_bEngine;
    BOOL m_bRegistered;
};

#endif
