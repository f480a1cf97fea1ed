#ifndef HTTPSERVER_HTTPCMD_SUBSTREAMSOURCE_H
#define HTTPSERVER_HTTPCMD_SUBSTREAMSOURCE_H

#include "HttpServer/HttpFrameSource.h"

// The engine's live source: encoder channel 1 through the bridges.
class CSubStreamSource : public CHttpFrameSource {
public:
    int SubStreamFd() override;
    int SubStreamData(char* buffer, int capacity, int bWaitIDR) override;

private:
    int m_nFd = -1;
};

#endif
