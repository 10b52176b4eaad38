#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vistrel {

// A picture buffer of exactly width × height × 3 bytes: rows top row first, no padding at row
// ends, each pixel red, green, blue. Width and height are not stored; the operation that makes a
// buffer reports them, and every operation that takes one takes them as arguments. Owning and
// movable; an empty RgbImage stands for "no image".
class RgbImage {
  public:
    RgbImage() = default;
    RgbImage(RgbImage&& other) noexcept;
    RgbImage& operator=(RgbImage&& other) noexcept;
    RgbImage(const RgbImage&) = delete;
    RgbImage& operator=(const RgbImage&) = delete;

    // A zero-filled buffer of `bytes` bytes; empty when the memory cannot be had.
    static RgbImage allocate(std::size_t bytes);

    std::uint8_t* data() { return m_data.get(); }
    const std::uint8_t* data() const { return m_data.get(); }
    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    explicit operator bool() const { return m_size != 0; }

  private:
    std::unique_ptr<std::uint8_t[]> m_data;
    std::size_t m_size = 0;
};

} // namespace vistrel
