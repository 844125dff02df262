#pragma once
// A field value as the database layer hands it out: Null, a number or a text, like the
// Variant of a recordset field.
#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>

namespace dao {

class Value {
public:
    enum class Type { Null, Integer, Real, Text };

    Value() noexcept = default;  // Null
    Value(bool flag) : v_(flag ? std::int64_t{-1} : std::int64_t{0}) {}  // yes/no: True is -1
    template <std::integral T>
        requires(!std::same_as<T, bool>)
    Value(T n) : v_(static_cast<std::int64_t>(n)) {}
    Value(double x) : v_(x) {}
    Value(std::string s) : v_(std::move(s)) {}
    Value(std::string_view s) : v_(std::string(s)) {}
    Value(const char* s) : v_(std::string(s)) {}

    static Value null() { return {}; }

    Type type() const noexcept { return static_cast<Type>(v_.index()); }
    bool isNull() const noexcept { return v_.index() == 0; }

    // Null and zero are False, any other number True (a yes/no field reads -1 as True);
    // a text reads as its number, or as "True"/"False".
    bool toBool() const;
    // A 16-bit Integer, a 32-bit Long: numbers round half to even; a numeric text is
    // read; Null raises 94, another text 13, a value out of range 6.
    int toInt() const;
    long toLong() const;
    double toDouble() const;
    // A whole number of up to 64 bits (numbers round half to even; Null raises 94).
    long long toInt64() const;
    // The text; Null gives "" (as `field & ""` does), numbers their CStr text.
    std::string toText() const;

    friend bool operator==(const Value&, const Value&) = default;

private:
    std::variant<std::monostate, std::int64_t, double, std::string> v_;
};

}  // namespace dao
