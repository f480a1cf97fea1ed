#ifndef HTTPSERVER_HTTPCMD_PRODUCTINFOBRIDGE_H
#define HTTPSERVER_HTTPCMD_PRODUCTINFOBRIDGE_H

// The product JSON of the app channel for the web command "getproductinfo":
// its length, or -1 when it does not fit `len` bytes (not terminated).
int GetProductInfo(char* buf, int len);

#endif
