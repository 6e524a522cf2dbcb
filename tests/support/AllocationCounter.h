// Counts calls of operator new made on the calling thread while a counter is armed.
#pragma once

class AllocationCounter {
 public:
  AllocationCounter();  // arms the count on this thread
  ~AllocationCounter();
  AllocationCounter(const AllocationCounter&) = delete;
  AllocationCounter& operator=(const AllocationCounter&) = delete;

  long count() const;
};
