// Preloaded into a test program: from the Nth thread on (FAIL_THREADS_FROM=N) no thread
// can be created, as when a process has reached its limit.
#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

extern "C" int pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* arg) {
  using Create = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);
  static const auto real = reinterpret_cast<Create>(dlsym(RTLD_NEXT, "pthread_create"));
  static std::atomic<int> calls{0};
  const char* from = std::getenv("FAIL_THREADS_FROM");
  if (from && ++calls >= std::atoi(from)) return EAGAIN;
  return real(thread, attr, start, arg);
}
