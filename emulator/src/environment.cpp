#include "emulator/environment.h"

#include <cstdlib>
#include <string_view>

namespace emulator {

std::unique_ptr<Reader> readerFromEnvironment() {
    const char* file = std::getenv(kCardVariable);
    if (!file || !*file) return nullptr;
    const char* timing = std::getenv(kTimingVariable);
    ReaderOptions options;
    options.timing = timing && std::string_view(timing) == "fast" ? Timing::Fast : Timing::Wire;
    auto reader = std::make_unique<Reader>(std::move(options));
    reader->insert(Card::open(file));
    return reader;
}

}  // namespace emulator
