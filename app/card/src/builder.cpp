// CardData.crd from the open document. The whole image is written with the placeholder
// where the model id belongs; the id goes in last, so that a file left by a build that
// stopped part-way is refused by the control instead of half-written to a card.
#include <cstring>
#include <fstream>

#include "card/card_data.h"
#include "core/database.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/upkeep.h"
#include "runtime/datetime.h"
#include "runtime/error.h"

namespace card {
namespace {

class ImageFile {
public:
    explicit ImageFile(const std::string& path) : out_(path, std::ios::binary | std::ios::trunc) {
        if (!out_) runtime::raise(75);
    }
    void write(std::size_t at, const std::uint8_t* bytes, std::size_t n) {
        out_.seekp(static_cast<std::streamoff>(at));
        out_.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(n));
        out_.flush();
        if (!out_) runtime::raise(57);
    }

private:
    std::ofstream out_;
};

void writeImage(const std::string& path, std::vector<std::uint8_t> image) {
    ImageFile file(path);
    std::uint8_t id[8];
    std::memcpy(id, image.data() + kModelIdAt, sizeof id);
    const std::uint8_t version[3] = {image[kDataVersionAt], image[kDataVersionAt + 1], image[kDataVersionAt + 2]};
    std::memset(image.data() + kModelIdAt, 0, sizeof id);
    std::memcpy(image.data() + kModelIdAt, kPlaceholder, std::strlen(kPlaceholder));
    std::memset(image.data() + kDataVersionAt, 0, sizeof version);
    file.write(0, image.data(), image.size());
    file.write(kModelIdAt, id, sizeof id);
    file.write(kDataVersionAt, version, sizeof version);
}

}  // namespace

bool mfnfMakeCardData(const std::string& sFileName, const WriteModeRecord& record, const Progress& progress,
                      std::string* failure) {
    int step = 1;
    auto report = [&] {
        if (progress) progress(step);
    };
    try {
        gsbDeleteFile(sFileName);
        const runtime::DateTime today = runtime::today();
        report();
        const std::uint8_t schedule = record[kRecordSchedule];
        CardCalendar calendar{today.year, {}};
        if (schedule != 0 && schedule != 2) {
            gsbSetMessageUse();
            gsbSetPatternError();
            report();
            ++step;
            calendar = loadCardCalendar(today.year, [&] {
                ++step;
                report();
            });
        }
        const DocumentSnapshot doc = loadSnapshot(gdbWork);
        writeImage(sFileName, encodeCardImage(doc, record, {today.year, today.month, today.day}, calendar));
        ++step;
        report();
        return true;
    } catch (const ImageError& e) {
        if (failure) *failure = e.what();
        gsbErrorMsg(std::string("mfnfMakeCardData: ") + e.what(), false);
    } catch (const runtime::Error& e) {
        gsbErrorMsg(e, false);
    }
    return false;
}

}  // namespace card
