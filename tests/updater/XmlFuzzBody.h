#pragma once

#include <cstddef>
#include <cstdint>

namespace vistrel::test {

// Runs one input through the XML reader and the PAD walks, checking what must hold for any
// input; aborts when it does not. Shared by the libFuzzer target and the corpus replay test.
void FuzzXmlReaderOne(const std::uint8_t* data, std::size_t size);

} // namespace vistrel::test
