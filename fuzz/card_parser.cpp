// A card's dump parsed into a new document, as reading a card does.
#include <cstdint>

#include "card/card_data.h"
#include "forms/fatal.h"
#include "runtime/error.h"
#include "support/program.h"
#include "support/scratch.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::useProgramFolder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::useProgramFolder();
    fuzz::openNewDocument();
    const std::string path = fuzz::writeInput("CardData.crd", {data, size});
    try {
        card::mfnfReadCardData(path, {});
    } catch (const runtime::Error&) {
    } catch (const forms::ProgramEnded&) {
    }
    return 0;
}
