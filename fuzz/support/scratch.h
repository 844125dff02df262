#pragma once
// A scratch folder of the harness's own, removed when the process ends, and the files an
// input is written to so that the code under test reads it as it reads a user's file.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace fuzz {

// The process's scratch folder (created on first use).
const std::filesystem::path& scratch();

// Writes the bytes to `name` in the scratch folder and returns its path.
std::string writeInput(const std::string& name, std::span<const std::uint8_t> bytes);

}  // namespace fuzz
