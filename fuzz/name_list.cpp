// The name list Msg.txt of a saved message set.
#include <cstdint>

#include "card/message_set.h"
#include "support/scratch.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzz::writeInput("Msg.txt", {data, size});
    const card::NameList list = card::readNameList(path);
    (void)list;
    return 0;
}
