// Counts the heap allocations that the test program's own code (the tests and the statically
// linked engine) makes on the calling thread while a counter is armed: operator new in every
// build, and malloc, calloc and realloc where no sanitizer owns malloc.
//
// Only the immediate caller is looked at, so allocations that a shared library makes (the
// OpenGL driver compiling a display list, libstdc++ growing a string out of line, libc's own
// getcwd) are not counted. The frame path uses none of those on its own behalf.
#pragma once

class AllocationCounter {
 public:
  AllocationCounter();  // arms the count on this thread, from zero
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  long count() const;

  // Whether malloc, calloc and realloc are seen (false under AddressSanitizer, which
  // replaces them itself).
  static bool seesMalloc();
};
