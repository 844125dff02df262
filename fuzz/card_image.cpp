// The card image decoder over a card's dump.
#include <cstdint>

#include "card/image.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const card::CardContents contents = card::decodeCardImage({data, size}, 2027);
        (void)contents;
    } catch (const card::ImageError&) {
    }
    return 0;
}
