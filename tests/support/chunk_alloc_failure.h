// Makes package-chunk allocation fail after a number of successful ones, while it lives.
#pragma once

namespace qxtest {

class ChunkAllocFailure {
 public:
  // The first `allowed` chunk allocations succeed; every later one fails.
  explicit ChunkAllocFailure(int allowed);
  ~ChunkAllocFailure();
  ChunkAllocFailure(const ChunkAllocFailure&) = delete;
  ChunkAllocFailure& operator=(const ChunkAllocFailure&) = delete;

  // Allocations asked for so far, failed ones included.
  int Requests() const;
};

}  // namespace qxtest
