#pragma once
// Database files as a whole: compaction, and the process-wide registry of open files.
// A file that is open on a connection (or attached) cannot be deleted, replaced or
// compacted: on Linux those would succeed under the connection and lose its data
// silently, so the layer refuses them as the original platform did.
#include <filesystem>

namespace dao {

// Whether the file is open on a connection of this process (by identity, so any
// spelling of its path counts).
bool isOpen(const std::filesystem::path& path);

// Raises 70 (Permission denied) when the file is open.
void ensureNotOpen(const std::filesystem::path& path);

// Deletes the file, read-only or not; a missing file is no fault. 70 when it is open,
// 75 when it cannot be deleted.
void deleteFile(const std::filesystem::path& path);

// Moves `from` over `to` in one atomic step (to is replaced, never first deleted).
// 70 when either is open, 53 when `from` is missing, 75 on another failure.
void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

// CompactDatabase(source, target): a compacted copy of source at target. 3045 when
// source is open, 3204 when target exists, 3024 / 3343 as Database::open.
void compactDatabase(const std::filesystem::path& source, const std::filesystem::path& target);

// Compacts the file in place through `scratch`: a compacted copy is written to scratch
// and renamed over the file. On any failure the file is left as it was and scratch is
// removed. 3045 when the file or scratch is open.
void compactInPlace(const std::filesystem::path& path, const std::filesystem::path& scratch);

}  // namespace dao
