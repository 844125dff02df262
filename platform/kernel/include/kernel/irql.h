#pragma once
// The simulated interrupt request level of each thread, and the host's assertions.
// A thread starts at passive level; spin locks and bus completions raise it to dispatch
// level. Waiting or touching paged memory at dispatch level is a driver bug: the host
// reports it through the assertion handler.
#include <cstdint>
#include <functional>
#include <string>

namespace kernel {

using Irql = std::uint8_t;
constexpr Irql PASSIVE_LEVEL = 0;
constexpr Irql APC_LEVEL = 1;
constexpr Irql DISPATCH_LEVEL = 2;

Irql KeGetCurrentIrql();
void KeRaiseIrql(Irql newIrql, Irql* oldIrql);
void KeLowerIrql(Irql newIrql);

// Raises the level for a scope (a bus completing requests, a timer routine).
class IrqlScope {
public:
    explicit IrqlScope(Irql level) { KeRaiseIrql(level, &old_); }
    ~IrqlScope() { KeLowerIrql(old_); }
    IrqlScope(const IrqlScope&) = delete;
    IrqlScope& operator=(const IrqlScope&) = delete;

private:
    Irql old_ = PASSIVE_LEVEL;
};

// A broken host rule. The default handler prints the message and aborts; tests install
// one that records or throws.
using AssertionHandler = std::function<void(const std::string& message)>;
AssertionHandler setAssertionHandler(AssertionHandler handler);
void assertionFailed(const std::string& message);

inline void hostAssert(bool condition, const char* message) {
    if (!condition) assertionFailed(message);
}

}  // namespace kernel
