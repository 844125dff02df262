#pragma once
// Numbered results of late-bound calls. Nothing throws across a call: every failure is one
// of these.
#include <cstdint>

namespace com {

using HResult = std::int32_t;

constexpr HResult Ok = 0;
constexpr HResult Failed = static_cast<HResult>(0x80004005);
constexpr HResult OutOfMemory = static_cast<HResult>(0x8007000E);
constexpr HResult MemberNotFound = static_cast<HResult>(0x80020003);
constexpr HResult TypeMismatch = static_cast<HResult>(0x80020005);
constexpr HResult UnknownName = static_cast<HResult>(0x80020006);
constexpr HResult ExceptionOccurred = static_cast<HResult>(0x80020009);
constexpr HResult Overflow = static_cast<HResult>(0x8002000A);
constexpr HResult BadParamCount = static_cast<HResult>(0x8002000E);
constexpr HResult ClassNotRegistered = static_cast<HResult>(0x80040154);

constexpr bool succeeded(HResult r) { return r >= 0; }

}  // namespace com
