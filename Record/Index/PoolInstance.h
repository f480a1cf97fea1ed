#ifndef RECORD_INDEX_POOLINSTANCE_H
#define RECORD_INDEX_POOLINSTANCE_H

#include <atomic>

#include "Record/Index/PoolBlocks.h"

// The one process-wide object of a pool class TPool (whose constructor and
// destructor are private, with this class a friend): made at the first Get,
// deleted at exit by a guard made just before it, so after every static
// object made before that first call. Get gives null once it is deleted.
template <class TPool>
class CPoolInstance {
public:
    static TPool* Get()
    {
        static CGarbo s_Garbo;
        static TPool* const s_lpCreated = [] {
            TPool* p = new TPool;
            s_lpInstance.store(p, std::memory_order_release);
            return p;
        }();
        (void)s_Garbo;
        (void)s_lpCreated;
        return s_lpInstance.load(std::memory_order_acquire);
    }

private:
    class CGarbo {
    public:
        ~CGarbo() { delete s_lpInstance.exchange(nullptr); }
    };
    static inline std::atomic<TPool*> s_lpInstance{nullptr};
};

// A block pool of T that is the process-wide object of TPool (which names
// itself and makes its constructor private, with CPoolInstance<TPool> a friend).
template <class TPool, typename T>
class CPoolBlocksInstance : public CPoolBlocks<T> {
public:
    // The pool; null only once it has been deleted at exit.
    static TPool* instance() { return CPoolInstance<TPool>::Get(); }
};

#endif
