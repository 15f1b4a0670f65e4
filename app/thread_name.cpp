#include "app/thread_name.h"

#include <pthread.h>

#include <cstring>

void SetCurrentThreadName(const char* name) {
  if (name == nullptr) {
    return;
  }
  // The kernel keeps 15 bytes and a terminator; longer names are refused, not cut.
  char shortName[16];
  std::strncpy(shortName, name, sizeof(shortName) - 1);
  shortName[sizeof(shortName) - 1] = '\0';
  pthread_setname_np(pthread_self(), shortName);
}
