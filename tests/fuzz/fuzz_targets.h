#pragma once
#include <cstddef>
#include <cstdint>

// Each target takes any bytes, must never crash, hang or throw, and aborts when one of
// the invariants it checks does not hold.
int FuzzProfile(const std::uint8_t* data, std::size_t size);
int FuzzCommandLine(const std::uint8_t* data, std::size_t size);
