#include "HttpServer/httpcmd/ProductInfoBridge.h"

#include "TCPComm/TCPComm.h"

int GetProductInfo(char* buf, int len)
{
    return CTCPComm::instance()->GetProductInfoAsJson(buf, len);
}
