#include "print/state.h"

#include <cstdint>
#include <limits>

#include "printer/canvas.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

namespace print {

i16 ck(long long value) {
    if (value < std::numeric_limits<i16>::min() || value > std::numeric_limits<i16>::max())
        runtime::raise(runtime::err::Overflow);
    return static_cast<i16>(value);
}

i16 rnd(double value) { return runtime::cint(value); }

const FontMetric& PrintState::metric(int size) const {
    if (size < 6 || size - 6 >= static_cast<int>(metrics.size())) runtime::raise(runtime::err::SubscriptOutOfRange);
    return metrics[static_cast<std::size_t>(size - 6)];
}

PrintColumn& PrintState::column(int i) {
    if (i < 0 || i >= static_cast<int>(columns.size())) runtime::raise(runtime::err::SubscriptOutOfRange);
    return columns[static_cast<std::size_t>(i)];
}

void PrintState::setColumns(int n) {
    columns.assign(static_cast<std::size_t>(n), PrintColumn{});
    columnCount = ck(n);
}

printer::Canvas& PrintState::output() const {
    if (!out) runtime::raise(runtime::err::ObjectNotSet);
    return *out;
}

PrintState& state() {
    static PrintState s;
    return s;
}

PrintSinks& sinks() {
    static PrintSinks s;
    return s;
}

}  // namespace print
