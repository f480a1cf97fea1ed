#ifndef MAIN_MANAGERS_H
#define MAIN_MANAGERS_H

#include <cstddef>

#include "Function/types.h"

// What a failed Init means for the start-up.
typedef enum {
    emInitFailure_Ignore,  // result ignored
    emInitFailure_Log,     // the text is printed; the process runs without it
    emInitFailure_Fatal,   // the text is printed; the loop is skipped
} emInitFailure;

// One manager's start-up.
typedef struct tagManagerInit {
    BOOL (*Init)();
    emInitFailure failure;
    BOOL bErrorLine;        // the text goes out as an error line (stderr)
    const char* failText;   // with its line feed
} ManagerInit;

// One clean-up step. CleanUp must be safe when Init never ran or failed.
typedef struct tagManagerCleanUp {
    void (*CleanUp)();
    const char* doneText;   // printed after it, or null
} ManagerCleanUp;

// Runs the steps in order; 0 at the first fatal failure (the later steps
// are not run).
BOOL XRunManagerInits(const ManagerInit* steps, size_t count);
void XRunManagerCleanUps(const ManagerCleanUp* steps, size_t count);

// The system's managers, in the start-up order; 0 after a fatal failure.
BOOL XInitManagers();
// The managers started after the speaker volume (GPS receiver).
void XInitLateManagers();
// "Begin Clean Up..." and every manager's clean-up in the shut-down order,
// ending with the settings store and "Exiting...".
void XCleanUpManagers();

#endif
