// The card image of a new document, or of a kvp document, with every part selected.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "card/card_data.h"
#include "core/database.h"
#include "core/file_header.h"
#include "core/globals.h"
#include "runtime/datetime.h"
#include "runtime/error.h"
#include "tool.h"

namespace crdtool {
namespace fs = std::filesystem;
namespace {

// A program folder of its own, with a copy of the tool's Master.dat, removed at the end.
class WorkFolder {
public:
    WorkFolder() {
        char pattern[] = "/tmp/crdtool-XXXXXX";
        if (!mkdtemp(pattern)) runtime::raise(75);
        dir_ = pattern;
        const fs::path self = fs::read_symlink("/proc/self/exe").parent_path();
        fs::copy_file(self / kMasterDat, dir_ / kMasterDat);
        gstrDataPath = dir_.string() + "/";
    }
    ~WorkFolder() {
        gsbCloseDatabase(gdbWork);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    fs::path file(std::string_view name) const { return dir_ / name; }

private:
    fs::path dir_;
};

// The document's database: the body of a kvp file after its 64-byte header.
void extractDocument(const std::string& kvp, const fs::path& to) {
    if (const auto code = gfnfCheckDataFile(kvp); code != kDataFileGood)
        throw std::runtime_error("not a document file (check " + std::to_string(code) + ")");
    std::ifstream in(kvp, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(kHeaderSize));
    std::ofstream out(to, std::ios::binary);
    out << in.rdbuf();
}

}  // namespace

bool build(const std::string& doc, const std::string& today, const std::string& out, std::ostream& err) {
    int y = 0, m = 0, d = 0;
    if (std::sscanf(today.c_str(), "%4d-%2d-%2d", &y, &m, &d) != 3) {
        err << "crdtool: --today wants YYYY-MM-DD\n";
        return false;
    }
    try {
        runtime::FixedClock clock({y, m, d, 0, 0, 0});
        WorkFolder work;
        const fs::path regist = work.file(kRegistDat);
        if (doc.empty())
            createDocumentFromMaster(regist.string());
        else
            extractDocument(doc, regist);
        gdbWork = dao::Database::open(regist);
        card::WriteModeRecord record{};
        card::msbGetWriteMode(record);
        for (std::size_t i = card::kRecordSettings; i < record.size(); ++i) record[i] = 4;
        std::string failure;
        if (!card::mfnfMakeCardData(fs::absolute(out).string(), record, {}, &failure)) {
            err << "crdtool: the card image could not be built" << (failure.empty() ? "" : ": " + failure) << "\n";
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        err << "crdtool: " << e.what() << "\n";
        return false;
    }
}

}  // namespace crdtool
