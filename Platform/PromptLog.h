#ifndef PLATFORM_PROMPTLOG_H
#define PLATFORM_PROMPTLOG_H

// Notes a voice prompt the system asked for. On the simulated board it appends
// "PCM n" to /log/prompts.log under the board root, so tests can follow the
// prompts; on the camera it does nothing. Safe from any thread.
void XPromptLog(int index);

#endif
