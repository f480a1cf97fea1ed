#ifndef ROLES_CARDFILES_H
#define ROLES_CARDFILES_H

#include <cstddef>

#include "Function/types.h"

// Where the card's files are: its state bits (emSDState), its mount folder,
// and the state callbacks that follow it.
class CCardFiles {
public:
    virtual ~CCardFiles() = default;

    virtual int GetSDState() = 0;
    // The mount folder with a trailing '/' (a device path); 0 unless the
    // card is inserted and mounted.
    virtual BOOL GetSDMountPath(char* path, size_t size) = 0;
    // `fun` gets the state bits on every change, on the thread that saw it.
    virtual BOOL RegisterSDStateCallback(int (*fun)(int state, void* priv), void* priv) = 0;
    virtual BOOL UnregisterSDStateCallback(int (*fun)(int state, void* priv), void* priv) = 0;
};

#endif
