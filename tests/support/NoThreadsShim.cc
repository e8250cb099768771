// Preloaded into a program under test: no thread can be started, as on a
// system out of threads (pthread_create fails with EAGAIN).
#include <pthread.h>

#include <cerrno>

extern "C" int pthread_create(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*) {
    return EAGAIN;
}
