// Counts the heap allocations that the test program's own code (the tests and the statically
// linked engine) makes on the calling thread while a counter is armed: operator new in every
// build, and malloc, calloc and realloc where no sanitizer owns malloc.
//
// Only the immediate caller is looked at, so allocations that a shared library makes (the
// OpenGL driver compiling a display list, libstdc++ growing a string out of line, libc's own
// getcwd) are not counted. The frame path uses none of those on its own behalf. A counter can
// also make one of the allocations it counts fail, to test what running out of memory does.
#pragma once

class AllocationCounter {
 public:
  AllocationCounter();  // arms the count on this thread, from zero
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  long count() const;
  // Makes the nth allocation counted from now on (1 for the next) fail: operator new throws
  // std::bad_alloc, malloc returns null. 0 fails none.
  void failAllocation(long nth);
};
