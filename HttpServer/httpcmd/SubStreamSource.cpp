#include "HttpServer/httpcmd/SubStreamSource.h"

#include "HttpServer/httpcmd/HttpCmd.h"

int CSubStreamSource::SubStreamFd()
{
    if (m_nFd < 0) {
        m_nFd = GetSubStreamEncFD();
    }
    return m_nFd;
}

int CSubStreamSource::SubStreamData(char* buffer, int capacity, int bWaitIDR)
{
    return GetH264SubStreamData(buffer, capacity, bWaitIDR);
}
