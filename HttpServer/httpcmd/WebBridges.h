#ifndef HTTPSERVER_HTTPCMD_WEBBRIDGES_H
#define HTTPSERVER_HTTPCMD_WEBBRIDGES_H

#include <mutex>

#include "HttpServer/httpcmd/WebBridgePorts.h"
#include "MultiTask/Singleton.h"

// The bridges' roles, bound by the composition root before the server
// starts (tests bind their own the same way).
class CWebBridges : public CSingleton<CWebBridges> {
public:
    // Not owned.
    void Bind(const WebBridgeRoles& roles);
    // A copy, taken under the lock.
    WebBridgeRoles Roles();

private:
    friend class CSingleton<CWebBridges>;
    CWebBridges() = default;
    ~CWebBridges() = default;

    std::mutex m_Lock;
    WebBridgeRoles m_Roles{};
};

#endif
