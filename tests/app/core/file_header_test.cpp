#include "core/file_header.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/globals.h"
#include "runtime/error.h"
#include "forms/msgbox.h"
#include "runtime/datetime.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder for the fixture files of one test.
class HeaderFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               ("kv_header_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    std::string write(const std::string& name, const std::string& bytes) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }
    static std::string read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // A header as the writer leaves it, then `body` in place of the database.
    static std::string header(std::string_view code, std::string_view kind = "DATA", std::string_view version = "101",
                              std::size_t body = 100) {
        std::string h(kHeaderSize + body, '\0');
        h.replace(0, code.size(), code);
        h.replace(8, kind.size(), kind);
        h.replace(12, version.size(), version);
        return h;
    }

    fs::path dir_;
};

}  // namespace

TEST(Bcd, ToAndFrom) {
    struct Case { int value; std::uint8_t bcd; };
    for (const Case c : {Case{0, 0x00}, {7, 0x07}, {19, 0x19}, {59, 0x59}, {99, 0x99}, {100, 0x00}, {123, 0x23}, {255, 0x55}})
        EXPECT_EQ(gfnbToBcd(static_cast<std::uint8_t>(c.value)), c.bcd) << c.value;
    struct Back { std::uint8_t bcd; int value; };
    for (const Back b : {Back{0x00, 0}, {0x05, 5}, {0x19, 19}, {0x99, 99}, {0x1A, 1}, {0xA5, 0}, {0x0A, 0}, {0xFF, 0}, {0x9F, 9}})
        EXPECT_EQ(gfnbFromBcd(b.bcd), b.value) << std::hex << int(b.bcd);
    for (int v = 0; v < 100; ++v) EXPECT_EQ(gfnbFromBcd(gfnbToBcd(static_cast<std::uint8_t>(v))), v);
}

TEST_F(HeaderFiles, WrittenHeaderPassesOnlyAfterTheCodeIsStamped) {
    for (const char* name : {"doc.kvp", "CardData.crd"}) {
        const std::string path = (dir_ / name).string();
        {
            std::ofstream out(path, std::ios::binary);
            gsbWriteFileHeader(out);
            out.seekp(kHeaderSize);
            out << std::string(4096, 'x');  // the database
        }
        const std::string bytes = read(path);
        EXPECT_EQ(bytes.substr(0, 15), "ERROR!  DATA101");
        EXPECT_EQ(bytes.substr(25, 39), std::string(39, '\0')) << "the gap up to the database is zeros";
        EXPECT_EQ(bytes[15], '\0');

        const bool kvp = std::string(name).ends_with("kvp");
        EXPECT_EQ(gfnfCheckDataFile(path), kvp ? kKvpBadCode : kCrdBadCode) << "a half-written file never passes";
        gsbSetFileCode(path);
        EXPECT_EQ(gfnfCheckDataFile(path), kDataFileGood) << name;
        EXPECT_EQ(read(path).substr(0, 8), kvp ? "KVM58SPC" : "KV-M58S1");
        EXPECT_EQ(read(path).substr(8), bytes.substr(8)) << "stamping touches only the code";
    }
}

TEST_F(HeaderFiles, TimeOfWritingIsOneReadingOfTheClock) {
    runtime::FixedClock clock({2019, 9, 13, 8, 5, 1});
    std::ostringstream out;
    gsbWriteFileHeader(out);
    const std::string bytes = out.str();
    ASSERT_EQ(bytes.size(), kHeaderWrittenBytes);
    EXPECT_EQ(bytes.substr(16), std::string("\x02\x00\x01\x09\x09\x13\x08\x05\x01", 9));

    clock.set({2100, 12, 31, 23, 59, 59});
    std::ostringstream later;
    gsbWriteFileHeader(later);
    EXPECT_EQ(later.str().substr(16), std::string("\x02\x01\x00\x00\x12\x31\x23\x59\x59", 9));
}

TEST_F(HeaderFiles, FailedHeaderWriteIsARunTimeError) {
    std::ofstream closed;  // never opened
    try {
        gsbWriteFileHeader(closed);
        FAIL() << "a failed write must raise";
    } catch (const runtime::Error& e) {
        EXPECT_EQ(e.number(), 57);
    }
}

TEST_F(HeaderFiles, EveryFailureCodeFromASmallFixture) {
    struct Case { const char* name; std::string bytes; std::int16_t result; };
    const Case cases[] = {
        {"short.kvp", header("KVM58SPC").substr(0, 65), kKvpTooShort},
        {"empty.kvp", "", kKvpTooShort},
        {"foreign.kvp", header("KV-M58S1"), kKvpBadCode},
        {"unstamped.kvp", header("ERROR!  "), kKvpBadCode},
        {"kind.kvp", header("KVM58SPC", "DATB"), kKvpBadKind},
        {"version.kvp", header("KVM58SPC", "DATA", "100"), kDataFileBadVersion},
        {"code_and_version.kvp", header("XXXXXXXX", "DATA", "100"), kKvpBadCode},
        {"upper.KVP", header("KVM58SPC"), kDataFileGood},
        {"just_long_enough.kvp", header("KVM58SPC", "DATA", "101", 2), kDataFileGood},
        {"short.crd", header("KV-M58S1").substr(0, 40), kCrdTooShort},
        {"foreign.crd", header("KVM58SPC"), kCrdBadCode},
        {"unstamped.crd", header("ERROR!  "), kCrdBadCode},
        {"kind.crd", header("KV-M58S1", "data"), kCrdBadKind},
        {"version.crd", header("KV-M58S1", "DATA", "102"), kDataFileBadVersion},
        {"good.crd", header("KV-M58S1"), kDataFileGood},
        {"other.dat", header("KVM58SPC"), kDataFileBadExtension},
        {"noextension", header("KVM58SPC"), kDataFileBadExtension},
    };
    for (const Case& c : cases) EXPECT_EQ(gfnfCheckDataFile(write(c.name, c.bytes)), c.result) << c.name;
}

TEST_F(HeaderFiles, UnusableFileGivesTheAttributeResult) {
    EXPECT_EQ(gfnfCheckDataFile((dir_ / "missing.kvp").string()), kDataFileAttr);
    EXPECT_EQ(gfnfCheckDataFile(dir_.string()), kDataFileAttr);
    const std::string ro = write("readonly.kvp", header("KVM58SPC"));
    fs::permissions(ro, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    EXPECT_EQ(gfnfCheckDataFile(ro), kDataFileAttr);
}

TEST_F(HeaderFiles, FileCodeFollowsTheExtension) {
    struct Case { const char* name; const char* code; };
    for (const Case c : {Case{"a.kvp", "KVM58SPC"}, {"b.CRD", "KV-M58S1"}, {"c.dat", "        "}}) {
        const std::string path = write(c.name, header("ERROR!  "));
        gsbSetFileCode(path);
        EXPECT_EQ(read(path).substr(0, 8), c.code) << c.name;
        EXPECT_EQ(read(path).size(), kHeaderSize + 100);
    }
    const fs::path missing = dir_ / "missing.kvp";
    gsbSetFileCode(missing.string());
    EXPECT_FALSE(fs::exists(missing)) << "a missing file is left alone, not created";
}

TEST_F(HeaderFiles, LogModeShowsAndLogsTheReason) {
    const std::string savedPath = gstrDataPath;
    const VbBool savedMode = gintLogMode;
    gstrDataPath = dir_.string() + "/";
    gintLogMode = vbTrue;
    {
        forms::ScriptedDialogs dialogs;
        dialogs.expect("ファイルエラー！\r\nファイルサイズ（41）が小さい。")
            .expect("ファイルコード（ERROR!  ）が一致しない。")
            .expect("ファイルの種類（DATX）が一致しない。")
            .expect("バージョン（100）が一致しない。")
            .expect("拡張子（txt）が一致しない。")
            .expect("ファイルの属性エラー");
        EXPECT_EQ(gfnfCheckDataFile(write("a.kvp", std::string(65, 'x'))), kKvpTooShort);
        EXPECT_EQ(gfnfCheckDataFile(write("b.crd", header("ERROR!  "))), kCrdBadCode);
        EXPECT_EQ(gfnfCheckDataFile(write("c.kvp", header("KVM58SPC", "DATX"))), kKvpBadKind);
        EXPECT_EQ(gfnfCheckDataFile(write("d.kvp", header("KVM58SPC", "DATA", "100"))), kDataFileBadVersion);
        EXPECT_EQ(gfnfCheckDataFile(write("e.txt", header("KVM58SPC"))), kDataFileBadExtension);
        EXPECT_EQ(gfnfCheckDataFile((dir_ / "gone.kvp").string()), kDataFileAttr);
        EXPECT_EQ(gfnfCheckDataFile(write("f.kvp", header("KVM58SPC"))), kDataFileGood);  // nothing shown
        EXPECT_EQ(dialogs.pending(), 0u);
    }
    EXPECT_TRUE(fs::exists(dir_ / "Soft.log"));
    gintLogMode = savedMode;
    gstrDataPath = savedPath;
}
