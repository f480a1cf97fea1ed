#ifndef HTTPSERVER_INICOMMAND_H
#define HTTPSERVER_INICOMMAND_H

#include "HttpServer/HttpConnection.h"

// The command interface behind "/ini.htm": runs the row of the cmd
// parameter and answers 200 with its text or JSON body, built in the shared
// buffer ("US <cmd>" for an unknown command, the raw target when there is no
// cmd). 500 when the shared buffer cannot be had.
void process_ini_command(connection* conn);

#endif
