// Build tool: turns the text seed of Master.dat into the database file.
// Usage: kv_mkmaster <seed.sql> <Master.dat>
// The file is built beside its target and renamed over it only when complete, so an
// interrupted build never leaves a half-made Master.dat in the program folder.
#include <sqlite3.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

bool readAll(const char* path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    out = s.str();
    return true;
}

bool exec(sqlite3* db, const std::string& sql, const char* what) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message) == SQLITE_OK) return true;
    std::fprintf(stderr, "kv_mkmaster: %s: %s\n", what, message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    return false;
}

bool build(const std::string& seed, const std::string& target) {
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(target.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "kv_mkmaster: cannot create %s\n", target.c_str());
        sqlite3_close(db);
        return false;
    }
    const bool ok = exec(db, "PRAGMA journal_mode=DELETE", "journal mode") &&
                    exec(db, "BEGIN", "begin") && exec(db, seed, "seed") && exec(db, "COMMIT", "commit");
    return sqlite3_close(db) == SQLITE_OK && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kv_mkmaster <seed.sql> <Master.dat>\n");
        return 2;
    }
    std::string seed;
    if (!readAll(argv[1], seed)) {
        std::fprintf(stderr, "kv_mkmaster: cannot read %s\n", argv[1]);
        return 1;
    }
    const std::filesystem::path target = argv[2];
    const std::filesystem::path partial = target.string() + ".partial";
    std::error_code ec;
    std::filesystem::create_directories(target.parent_path(), ec);
    std::filesystem::remove(partial, ec);
    if (!build(seed, partial.string())) {
        std::filesystem::remove(partial, ec);
        return 1;
    }
    std::filesystem::rename(partial, target, ec);
    if (ec) {
        std::fprintf(stderr, "kv_mkmaster: cannot replace %s: %s\n", target.c_str(), ec.message().c_str());
        std::filesystem::remove(partial, ec);
        return 1;
    }
    return 0;
}
