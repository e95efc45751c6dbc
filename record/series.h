// The readings of a run kept for the Allan deviation, the interval median and
// the plot: 12 bytes each (a double and a 32-bit millisecond offset), in
// fixed blocks so that growth never doubles the memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace kolvane::record {

class ReadingSeries {
 public:
  // `elapsedS` is kept to the millisecond, as the CSV writes it.
  void Add(double elapsedS, double value);
  std::size_t Size() const { return size_; }
  double Value(std::size_t i) const {
    const Chunk& c = ChunkOf(i);
    return c.values[i - c.first];
  }
  std::int64_t TimeMs(std::size_t i) const {
    const Chunk& c = ChunkOf(i);
    return c.baseMs + c.offsetMs[i - c.first];
  }
  double TimeS(std::size_t i) const { return static_cast<double>(TimeMs(i)) / 1000.0; }
  // Heap and object bytes held.
  std::size_t BytesUsed() const;

 private:
  static constexpr std::size_t kBlock = 4096;
  struct Chunk {
    std::size_t first = 0;  // index of its first reading
    std::int64_t baseMs = 0;
    std::size_t count = 0;
    std::unique_ptr<double[]> values;
    std::unique_ptr<std::uint32_t[]> offsetMs;
  };
  const Chunk& ChunkOf(std::size_t i) const { return allFull_ ? chunks_[i / kBlock] : Search(i); }
  const Chunk& Search(std::size_t i) const;

  std::vector<Chunk> chunks_;
  std::size_t size_ = 0;
  bool allFull_ = true;  // every block but the last is full: i / kBlock finds it
};

}  // namespace kolvane::record
