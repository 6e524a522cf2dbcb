#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

// The start and the end of the test program's own code, from the linker.
extern "C" char __executable_start[], etext[];

namespace {

thread_local bool armed = false;
thread_local long allocations = 0;
thread_local long failing = 0;  // the count at which an allocation fails; 0 for none

// Counts the allocation; true when it is the one that must fail.
bool note(void* caller) {
  if (!armed || caller < __executable_start || caller >= etext) {
    return false;
  }
  allocations++;
  return allocations == failing;
}

}  // namespace

AllocationCounter::AllocationCounter() {
  allocations = 0;
  failing = 0;
  armed = true;
}

AllocationCounter::~AllocationCounter() {
  armed = false;
  failing = 0;
}

long AllocationCounter::count() const { return allocations; }

void AllocationCounter::failAllocation(long nth) { failing = nth == 0 ? 0 : allocations + nth; }

#ifdef __SANITIZE_ADDRESS__
#define VANTOR_RAW_MALLOC std::malloc
#else
// glibc's allocator under its own names, for the replacements to forward to.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* block, std::size_t size) noexcept;
#define VANTOR_RAW_MALLOC __libc_malloc

extern "C" void* malloc(std::size_t size) noexcept {
  return note(__builtin_return_address(0)) ? nullptr : __libc_malloc(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
  return note(__builtin_return_address(0)) ? nullptr : __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, std::size_t size) noexcept {
  return note(__builtin_return_address(0)) ? nullptr : __libc_realloc(block, size);
}
#endif

// Straight to the allocator, past the malloc hook, so that one `new` is counted once. Every
// unaligned form of new and delete is replaced, so that whatever a library allocates with one
// form is released through the same allocator; aligned ones stay the library's, in pairs.
void* allocate(std::size_t size, void* caller) noexcept {
  return note(caller) ? nullptr : VANTOR_RAW_MALLOC(size == 0 ? 1 : size);
}

void* allocateOrThrow(std::size_t size, void* caller) {
  if (void* block = allocate(size, caller)) {
    return block;
  }
  throw std::bad_alloc();
}

void* operator new(std::size_t size) { return allocateOrThrow(size, __builtin_return_address(0)); }
void* operator new[](std::size_t size) {
  return allocateOrThrow(size, __builtin_return_address(0));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size, __builtin_return_address(0));
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
