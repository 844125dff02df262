// The header check of document and card image files, under both extensions.
#include <cstdint>

#include "core/file_header.h"
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
    for (const char* name : {"doc.kvp", "CardData.crd"}) {
        const std::string path = fuzz::writeInput(name, {data, size});
        try {
            gfnfCheckDataFile(path);
        } catch (const runtime::Error&) {
        } catch (const forms::ProgramEnded&) {
        }
    }
    return 0;
}
