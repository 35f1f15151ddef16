// The two CRC-32 routines of the system, over the reflected polynomial 0xEDB88320.
#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32/JAMCRC: register from 0xFFFFFFFF, no final inversion (the bitwise NOT of the
// common CRC-32). Checks each datagram and the whole file. "123456789" gives 0x340BC6D9.
std::uint32_t Crc32NoFinalXor(const void* data, std::uint32_t len);

// The common CRC-32 (CRC-32/ISO-HDLC) continued from an earlier result; the first call
// passes 0. "123456789" gives 0xCBF43926. Used by the package verifier.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::uint32_t len);

namespace crc32_detail {
// The raw register step over the data, without the initial or final inversion, by each
// implementation; exposed so that tests and benchmarks compare them directly.
std::uint32_t RegisterBytewise(std::uint32_t reg, const std::uint8_t* p, std::size_t len);
// The portable path: six 64-bit braids at once, joined in the last 48-byte block.
std::uint32_t RegisterBraided(std::uint32_t reg, const std::uint8_t* p, std::size_t len);
// Carry-less multiply folding; the portable path where the processor lacks PCLMULQDQ.
std::uint32_t RegisterClmul(std::uint32_t reg, const std::uint8_t* p, std::size_t len);
bool HaveClmul();
}  // namespace crc32_detail
