#pragma once
// Status codes of the kernel host, with the values the platform gives them, so that a
// driver's statuses mean the same here as in service.
#include <cstdint>

namespace kernel {

using Status = std::int32_t;

constexpr bool NT_SUCCESS(Status s) { return s >= 0; }

constexpr Status statusCode(std::uint32_t v) { return static_cast<Status>(v); }

constexpr Status STATUS_SUCCESS = 0;
constexpr Status STATUS_TIMEOUT = statusCode(0x00000102);
constexpr Status STATUS_PENDING = statusCode(0x00000103);
constexpr Status STATUS_BUFFER_OVERFLOW = statusCode(0x80000005);
constexpr Status STATUS_DEVICE_BUSY = statusCode(0x80000011);
constexpr Status STATUS_UNSUCCESSFUL = statusCode(0xC0000001);
constexpr Status STATUS_INVALID_HANDLE = statusCode(0xC0000008);
constexpr Status STATUS_INVALID_PARAMETER = statusCode(0xC000000D);
constexpr Status STATUS_NO_SUCH_DEVICE = statusCode(0xC000000E);
constexpr Status STATUS_INVALID_DEVICE_REQUEST = statusCode(0xC0000010);
constexpr Status STATUS_MORE_PROCESSING_REQUIRED = statusCode(0xC0000016);
constexpr Status STATUS_ACCESS_DENIED = statusCode(0xC0000022);
constexpr Status STATUS_BUFFER_TOO_SMALL = statusCode(0xC0000023);
constexpr Status STATUS_OBJECT_NAME_NOT_FOUND = statusCode(0xC0000034);
constexpr Status STATUS_DATA_OVERRUN = statusCode(0xC000003C);
constexpr Status STATUS_DELETE_PENDING = statusCode(0xC0000056);
constexpr Status STATUS_INSUFFICIENT_RESOURCES = statusCode(0xC000009A);
constexpr Status STATUS_DEVICE_NOT_CONNECTED = statusCode(0xC000009D);
constexpr Status STATUS_DEVICE_NOT_READY = statusCode(0xC00000A3);
constexpr Status STATUS_IO_TIMEOUT = statusCode(0xC00000B5);
constexpr Status STATUS_NOT_SUPPORTED = statusCode(0xC00000BB);
constexpr Status STATUS_CANCELLED = statusCode(0xC0000120);
constexpr Status STATUS_POWER_STATE_INVALID = statusCode(0xC00002D3);

}  // namespace kernel
