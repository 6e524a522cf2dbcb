// Preloaded into the program by a test: malloc gives nothing for blocks of exactly
// VANTOR_FAIL_MALLOC_SIZE bytes, as when memory runs out at that allocation.
#include <stddef.h>
#include <stdlib.h>

extern void* __libc_malloc(size_t size);

void* malloc(size_t size) {
  static long failing = -1;  // read once: getenv allocates nothing
  if (failing < 0) {
    const char* text = getenv("VANTOR_FAIL_MALLOC_SIZE");
    failing = text != NULL ? atol(text) : 0;
  }
  return (long)size == failing ? NULL : __libc_malloc(size);
}
