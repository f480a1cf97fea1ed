#ifndef HTTPSERVER_INICOMMAND_H
#define HTTPSERVER_INICOMMAND_H

#include "HttpServer/HttpConnection.h"

// The command interface behind "/ini.htm". For now it answers 200 with
// "US <cmd>" for the raw cmd parameter, or with the raw target when there
// is none.
void process_ini_command(connection* conn);

#endif
