#pragma once
// The 64-byte header of document (kvp) and card image (crd) files: file code, kind,
// header version and the time of writing. The file code is stamped last, so a file
// whose writing stopped short never passes the check.
#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>

// Header layout, byte offsets from 0.
inline constexpr std::size_t kHeaderSize = 64;          // the database follows from here
inline constexpr std::size_t kHeaderCodeAt = 0;         // 8 characters
inline constexpr std::size_t kHeaderKindAt = 8;         // "DATA"
inline constexpr std::size_t kHeaderVersionAt = 12;     // "101"
inline constexpr std::size_t kHeaderTimeAt = 16;        // year digits, then BCD month .. second
inline constexpr std::size_t kHeaderWrittenBytes = 25;  // what gsbWriteFileHeader writes

inline constexpr std::string_view kFileCodeKvp = "KVM58SPC";
inline constexpr std::string_view kFileCodeCrd = "KV-M58S1";
inline constexpr std::string_view kFileCodeProvisional = "ERROR!  ";
inline constexpr std::string_view kFileKind = "DATA";
inline constexpr std::string_view kFileVersion = "101";

// Results of gfnfCheckDataFile.
enum : std::int16_t {
    kDataFileGood = 0,
    kDataFileAttr = 1,
    kKvpTooShort = 3,
    kKvpBadCode = 4,
    kKvpBadKind = 6,
    kCrdTooShort = 7,
    kCrdBadCode = 8,
    kCrdBadKind = 10,
    kDataFileBadExtension = 12,
    kDataFileBadVersion = 13,
};

// Writes bytes 1-25 of the header at the start of a file open for binary writing, with
// the provisional file code and the current time. A failed write raises run-time error 57.
void gsbWriteFileHeader(std::ostream& file);

// Writes the final file code over the first 8 bytes of an existing file: "KV-M58S1" for
// crd, "KVM58SPC" for kvp, 8 spaces otherwise. A missing file is left alone.
void gsbSetFileCode(const std::string& path);

// Checks a document or card image file; 0 when good, else one of the codes above. In log
// mode the reason is also shown and logged.
std::int16_t gfnfCheckDataFile(const std::string& path);

// BCD of value Mod 100 (tens in the high nibble).
std::uint8_t gfnbToBcd(std::uint8_t value);
// The number a BCD byte holds: the value of its leading decimal digits (&H1A gives 1,
// &HA5 gives 0).
std::uint8_t gfnbFromBcd(std::uint8_t value);
