#pragma once
// The grid's one big allocation. It is aligned to 2 MiB and offered to the kernel for huge pages:
// a brush touches a few rows in each of dozens of slices and six channels, which with 4 KiB pages
// costs a TLB miss per row.
#include <cstddef>
#include <cstdint>

class SampleBuffer {
 public:
  explicit SampleBuffer(size_t count);
  ~SampleBuffer();
  SampleBuffer(const SampleBuffer&) = delete;
  SampleBuffer& operator=(const SampleBuffer&) = delete;

  int16_t* data() { return data_; }
  const int16_t* data() const { return data_; }
  size_t size() const { return count_; }

 private:
  int16_t* data_;
  size_t count_;
};
