// What the inspection fuzz targets share: the input written to a file of their own, a trace
// sink that checks each line, and an info-data allocator that stops the run on any block
// larger than the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Sets the quiet sinks and the checking allocator once.
void Prepare();

// Writes the bytes to this process's scratch file (named with `extension` when not empty)
// and, when `padTo` is larger, extends it with zeros to that size. Returns its path; the
// allocator then accepts blocks up to the file's size.
const std::string& WriteInput(const std::uint8_t* data, std::size_t size, const std::string& extension,
                              std::uint64_t padTo = 0);

// Every info-data block allocated so far has been freed.
void CheckBlocksFreed();

}  // namespace fuzz
