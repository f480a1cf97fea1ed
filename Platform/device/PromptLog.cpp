#include "Platform/PromptLog.h"

void XPromptLog(int)
{
}
