#include "AllocationCounter.h"

#include <cstdlib>
#include <new>

namespace {

thread_local bool armed = false;
thread_local long allocations = 0;

void* Allocate(std::size_t size) {
  if (armed) {
    allocations++;
  }
  void* block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  return block;
}

}  // namespace

AllocationCounter::AllocationCounter() {
  allocations = 0;
  armed = true;
}

AllocationCounter::~AllocationCounter() { armed = false; }

long AllocationCounter::count() const { return allocations; }

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
