#ifndef RECORD_INDEX_POOLINSTANCE_H
#define RECORD_INDEX_POOLINSTANCE_H

#include "MultiTask/Singleton.h"
#include "Record/Index/PoolBlocks.h"

// A block pool of T that is the process-wide object of TPool (which names
// itself and makes its constructor private, with CSingleton<TPool> a
// friend): made at the first instance(), deleted at exit by its CGarbo;
// instance() gives null once it has been deleted.
template <class TPool, typename T>
class CPoolBlocksInstance : public CPoolBlocks<T>, public CSingleton<TPool> {};

#endif
