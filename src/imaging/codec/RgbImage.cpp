#include "imaging/codec/RgbImage.h"

#include <new>
#include <utility>

namespace vistrel {

RgbImage::RgbImage(RgbImage&& other) noexcept
    : m_data(std::move(other.m_data)), m_size(std::exchange(other.m_size, 0))
{
}

RgbImage& RgbImage::operator=(RgbImage&& other) noexcept
{
    m_data = std::move(other.m_data);
    m_size = std::exchange(other.m_size, 0);
    return *this;
}

RgbImage RgbImage::allocate(std::size_t bytes)
{
    RgbImage image;
    if (bytes == 0)
        return image;
    image.m_data.reset(new (std::nothrow) std::uint8_t[bytes]());
    if (image.m_data)
        image.m_size = bytes;
    return image;
}

} // namespace vistrel
