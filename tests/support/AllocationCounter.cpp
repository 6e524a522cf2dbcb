#include "AllocationCounter.h"

#include <link.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define VANTOR_HOOK_MALLOC 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VANTOR_HOOK_MALLOC 0
#endif
#endif
#ifndef VANTOR_HOOK_MALLOC
#define VANTOR_HOOK_MALLOC 1
#endif

#if VANTOR_HOOK_MALLOC
// glibc's allocator under its own names: the replacements below forward to it, and
// operator new uses it directly so that one `new` is not counted twice.
extern "C" void* __libc_malloc(std::size_t size) noexcept;
extern "C" void* __libc_calloc(std::size_t count, std::size_t size) noexcept;
extern "C" void* __libc_realloc(void* block, std::size_t size) noexcept;
extern "C" void __libc_free(void* block) noexcept;
#endif

namespace {

thread_local bool armed = false;
thread_local long allocations = 0;
thread_local std::size_t refuseFrom = 0;  // 0: refuse nothing

// The executable segments of the test program itself, where our code lives.
std::uintptr_t ownCodeStart = 0;
std::uintptr_t ownCodeEnd = 0;

int FindOwnCode(dl_phdr_info* info, std::size_t, void*) {
  // The first object listed is the program.
  for (int i = 0; i < info->dlpi_phnum; i++) {
    const ElfW(Phdr)& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD || (segment.p_flags & PF_X) == 0) {
      continue;
    }
    std::uintptr_t start = info->dlpi_addr + segment.p_vaddr;
    std::uintptr_t end = start + segment.p_memsz;
    if (ownCodeStart == 0 || start < ownCodeStart) {
      ownCodeStart = start;
    }
    if (end > ownCodeEnd) {
      ownCodeEnd = end;
    }
  }
  return 1;
}

bool FromOwnCode(void* caller) {
  std::uintptr_t address = reinterpret_cast<std::uintptr_t>(caller);
  return address >= ownCodeStart && address < ownCodeEnd;
}

void Note(void* caller) {
  if (armed && FromOwnCode(caller)) {
    allocations++;
  }
}

// Straight to the allocator, past the malloc hook, so that one `new` is counted once.
void* RawAllocate(std::size_t size, std::size_t alignment) {
  if (size == 0) {
    size = 1;
  }
  if (alignment > alignof(std::max_align_t)) {
    // aligned_alloc wants a size that is a multiple of the alignment.
    return std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
  }
#if VANTOR_HOOK_MALLOC
  return __libc_malloc(size);
#else
  return std::malloc(size);
#endif
}

void* NewBlock(std::size_t size, std::size_t alignment, void* caller) {
  Note(caller);
  return RawAllocate(size, alignment);
}

void* NewBlockOrThrow(std::size_t size, std::size_t alignment, void* caller) {
  void* block = NewBlock(size, alignment, caller);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

#if VANTOR_HOOK_MALLOC
bool Refused(std::size_t size, void* caller) {
  if (refuseFrom != 0 && size >= refuseFrom && FromOwnCode(caller)) {
    errno = ENOMEM;
    return true;
  }
  return false;
}
#endif

}  // namespace

AllocationCounter::AllocationCounter() {
  if (ownCodeEnd == 0) {
    dl_iterate_phdr(FindOwnCode, nullptr);
  }
  allocations = 0;
  armed = true;
}

AllocationCounter::~AllocationCounter() { armed = false; }

long AllocationCounter::count() const { return allocations; }

bool AllocationCounter::seesMalloc() { return VANTOR_HOOK_MALLOC != 0; }

MallocRefusal::MallocRefusal(std::size_t bytes) {
  if (ownCodeEnd == 0) {
    dl_iterate_phdr(FindOwnCode, nullptr);
  }
  refuseFrom = bytes;
}

MallocRefusal::~MallocRefusal() { refuseFrom = 0; }

// Every form of new and delete is replaced, so that whatever the program or a library
// allocates with one form is released through the same allocator. Each looks at its own
// caller.
void* operator new(std::size_t size) {
  return NewBlockOrThrow(size, 0, __builtin_return_address(0));
}
void* operator new[](std::size_t size) {
  return NewBlockOrThrow(size, 0, __builtin_return_address(0));
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return NewBlock(size, 0, __builtin_return_address(0));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return NewBlock(size, 0, __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return NewBlockOrThrow(size, static_cast<std::size_t>(alignment), __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return NewBlockOrThrow(size, static_cast<std::size_t>(alignment), __builtin_return_address(0));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return NewBlock(size, static_cast<std::size_t>(alignment), __builtin_return_address(0));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return NewBlock(size, static_cast<std::size_t>(alignment), __builtin_return_address(0));
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
  std::free(block);
}

#if VANTOR_HOOK_MALLOC
extern "C" void* malloc(std::size_t size) noexcept {
  void* caller = __builtin_return_address(0);
  if (Refused(size, caller)) {
    return nullptr;
  }
  Note(caller);
  return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept {
  void* caller = __builtin_return_address(0);
  std::size_t total = 0;
  if (!__builtin_mul_overflow(count, size, &total) && Refused(total, caller)) {
    return nullptr;
  }
  Note(caller);
  return __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, std::size_t size) noexcept {
  void* caller = __builtin_return_address(0);
  if (Refused(size, caller)) {
    return nullptr;
  }
  Note(caller);
  return __libc_realloc(block, size);
}

extern "C" void free(void* block) noexcept { __libc_free(block); }
#endif
