#include "com/variant.h"

#include <charconv>
#include <limits>

namespace com {

Variant Variant::i2(std::int16_t v) { return Variant(Value(v)); }
Variant Variant::i4(std::int32_t v) { return Variant(Value(v)); }
Variant Variant::boolean(bool v) { return Variant(Value(v)); }
Variant Variant::bstr(std::string v) { return Variant(Value(std::move(v))); }
Variant Variant::byRef(Variant& referee) { return Variant(Value(&referee.target())); }

VarType Variant::kind() const {
    switch (value_.index()) {
    case 1: return VarType::I2;
    case 2: return VarType::I4;
    case 3: return VarType::Bool;
    case 4: return VarType::BStr;
    default: return VarType::Empty;
    }
}

// Every coercion to a number goes through the widest form, then narrows with a range check.
HResult Variant::toI4Wide(std::int64_t& out) const {
    const Variant& t = target();
    switch (t.kind()) {
    case VarType::Empty: out = 0; return Ok;
    case VarType::I2: out = std::get<std::int16_t>(t.value_); return Ok;
    case VarType::I4: out = std::get<std::int32_t>(t.value_); return Ok;
    case VarType::Bool: out = std::get<bool>(t.value_) ? -1 : 0; return Ok;
    case VarType::BStr: {
        const std::string& s = std::get<std::string>(t.value_);
        std::size_t b = s.find_first_not_of(' '), e = s.find_last_not_of(' ');
        if (b == std::string::npos) return TypeMismatch;
        const char* first = s.data() + b;
        const char* last = s.data() + e + 1;
        if (*first == '+') ++first;
        auto [p, ec] = std::from_chars(first, last, out);
        if (ec == std::errc::result_out_of_range) return Overflow;
        if (ec != std::errc() || p != last) return TypeMismatch;
        return Ok;
    }
    }
    return TypeMismatch;
}

HResult Variant::toI2(std::int16_t& out) const {
    std::int64_t v = 0;
    if (HResult r = toI4Wide(v); r != Ok) return r;
    if (v < std::numeric_limits<std::int16_t>::min() || v > std::numeric_limits<std::int16_t>::max()) return Overflow;
    out = static_cast<std::int16_t>(v);
    return Ok;
}

HResult Variant::toI4(std::int32_t& out) const {
    std::int64_t v = 0;
    if (HResult r = toI4Wide(v); r != Ok) return r;
    if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return Overflow;
    out = static_cast<std::int32_t>(v);
    return Ok;
}

HResult Variant::toBool(bool& out) const {
    const Variant& t = target();
    if (t.kind() == VarType::BStr) {
        const std::string& s = std::get<std::string>(t.value_);
        if (s == "True" || s == "true" || s == "TRUE") return out = true, Ok;
        if (s == "False" || s == "false" || s == "FALSE") return out = false, Ok;
    }
    std::int64_t v = 0;
    if (HResult r = toI4Wide(v); r != Ok) return r;
    out = v != 0;
    return Ok;
}

HResult Variant::toBStr(std::string& out) const {
    const Variant& t = target();
    switch (t.kind()) {
    case VarType::Empty: out.clear(); return Ok;
    case VarType::Bool: out = std::get<bool>(t.value_) ? "True" : "False"; return Ok;
    case VarType::BStr: out = std::get<std::string>(t.value_); return Ok;
    default: {
        std::int64_t v = 0;
        toI4Wide(v);
        out = std::to_string(v);
        return Ok;
    }
    }
}

std::int32_t Variant::asI4() const {
    std::int32_t v = 0;
    return toI4(v) == Ok ? v : 0;
}

bool Variant::asBool() const {
    bool v = false;
    return toBool(v) == Ok && v;
}

std::string Variant::asString() const {
    std::string s;
    toBStr(s);
    return s;
}

void Variant::assign(const Variant& v) {
    Variant& t = target();
    t.value_ = v.target().value_;
}

}  // namespace com
