#include "dao/value.h"

#include <cctype>
#include <cmath>
#include <limits>

#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"

namespace dao {

namespace {

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

}  // namespace

double Value::toDouble() const {
    switch (type()) {
    case Type::Null: runtime::raise(runtime::err::InvalidUseOfNull);
    case Type::Integer: return static_cast<double>(std::get<std::int64_t>(v_));
    case Type::Real: return std::get<double>(v_);
    case Type::Text: break;
    }
    const std::string& s = std::get<std::string>(v_);
    if (equalsNoCase(s, "True")) return -1;
    if (equalsNoCase(s, "False")) return 0;
    return runtime::cdbl(s);
}

bool Value::toBool() const {
    if (isNull()) return false;
    if (type() == Type::Integer) return std::get<std::int64_t>(v_) != 0;
    return toDouble() != 0;
}

int Value::toInt() const {
    if (type() == Type::Integer) {
        auto n = std::get<std::int64_t>(v_);
        if (n < std::numeric_limits<std::int16_t>::min() || n > std::numeric_limits<std::int16_t>::max())
            runtime::raise(runtime::err::Overflow);
        return static_cast<int>(n);
    }
    return runtime::cint(toDouble());
}

long long Value::toInt64() const {
    if (type() == Type::Integer) return std::get<std::int64_t>(v_);
    double r = runtime::roundHalfEven(toDouble());
    if (!(std::fabs(r) < 9.2e18)) runtime::raise(runtime::err::Overflow);
    return static_cast<long long>(r);
}

long Value::toLong() const {
    if (type() == Type::Integer) {
        auto n = std::get<std::int64_t>(v_);
        if (n < std::numeric_limits<std::int32_t>::min() || n > std::numeric_limits<std::int32_t>::max())
            runtime::raise(runtime::err::Overflow);
        return static_cast<long>(n);
    }
    return runtime::clng(toDouble());
}

std::string Value::toText() const {
    switch (type()) {
    case Type::Null: return {};
    case Type::Integer: return std::to_string(std::get<std::int64_t>(v_));
    case Type::Real: return runtime::cstr(std::get<double>(v_));
    case Type::Text: break;
    }
    return std::get<std::string>(v_);
}

}  // namespace dao
