#include "HttpServer/httpcmd/WebBridges.h"

void CWebBridges::Bind(const WebBridgeRoles& roles)
{
    std::lock_guard<std::mutex> lock(m_Lock);
    m_Roles = roles;
}

WebBridgeRoles CWebBridges::Roles()
{
    std::lock_guard<std::mutex> lock(m_Lock);
    return m_Roles;
}
