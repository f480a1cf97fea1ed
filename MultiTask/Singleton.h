#ifndef MULTITASK_SINGLETON_H
#define MULTITASK_SINGLETON_H

#include <atomic>

// The process-wide object of a manager class T (which derives from
// CSingleton<T> and, when its constructor is private, makes CSingleton<T> a
// friend): made by new at the first instance() call, deleted at exit by the
// nested CGarbo, a static made right after it. So it is deleted after every
// static made before that first call and before those its own constructor
// made (the singletons it builds on outlive it). instance() gives null once
// it has been deleted.
template <class T>
class CSingleton {
public:
    static T* instance()
    {
        static T* const s_lpCreated = [] {
            T* p = new T;
            s_lpInstance.store(p, std::memory_order_release);
            return p;
        }();
        static CGarbo s_Garbo;
        (void)s_lpCreated;
        (void)s_Garbo;
        return s_lpInstance.load(std::memory_order_acquire);
    }

protected:
    class CGarbo {
    public:
        ~CGarbo() { delete s_lpInstance.exchange(nullptr, std::memory_order_acq_rel); }
    };

private:
    static inline std::atomic<T*> s_lpInstance{nullptr};
};

#endif
