#pragma once
// The values that cross a late-bound call: 16- and 32-bit integers, booleans stored as
// -1/0, strings (UTF-8 inside the process), or a reference to the caller's value.
#include <cstdint>
#include <string>
#include <variant>

#include "com/result.h"

namespace com {

enum class VarType { Empty, I2, I4, Bool, BStr };

class Variant {
public:
    Variant() = default;
    static Variant i2(std::int16_t v);
    static Variant i4(std::int32_t v);
    static Variant boolean(bool v);
    static Variant bstr(std::string v);
    // A reference to `target`: reads and writes go through to it.
    static Variant byRef(Variant& referee);

    VarType type() const { return target().kind(); }
    bool isByRef() const { return std::holds_alternative<Variant*>(value_); }

    // Coercions as the late-bound call applies them; TypeMismatch or Overflow on failure.
    HResult toI2(std::int16_t& out) const;
    HResult toI4(std::int32_t& out) const;
    HResult toBool(bool& out) const;
    HResult toBStr(std::string& out) const;

    // Convenience for callers that know the type: 0, false or "" when it does not coerce.
    std::int32_t asI4() const;
    bool asBool() const;
    std::string asString() const;

    // Assigns through a reference, keeping the referenced value's identity.
    void assign(const Variant& v);

private:
    using Value = std::variant<std::monostate, std::int16_t, std::int32_t, bool, std::string, Variant*>;
    explicit Variant(Value v) : value_(std::move(v)) {}
    const Variant& target() const { return isByRef() ? *std::get<Variant*>(value_) : *this; }
    Variant& target() { return isByRef() ? *std::get<Variant*>(value_) : *this; }
    VarType kind() const;
    HResult toI4Wide(std::int64_t& out) const;

    Value value_;
};

}  // namespace com
