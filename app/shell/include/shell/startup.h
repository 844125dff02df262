#pragma once
// What the start of the program checks before any window opens: one instance per program
// folder, the installation (Master.dat and free space), and the single-user lock kept in
// Master.dat.
#include <functional>
#include <string>

namespace shell {

// Holds the program's single-instance lock for as long as it lives. The lock is an flock
// on a file in the user's runtime folder, so a crashed instance leaves nothing stuck.
class SingleInstance {
public:
    explicit SingleInstance(const std::string& programFolder);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    bool acquired() const { return fd_ >= 0; }
    // The lock file of a program folder.
    static std::string lockPath(const std::string& programFolder);

private:
    int fd_ = -1;
};

// Tests give the free bytes of the program's drive; an empty function measures them.
void setFreeSpaceForTesting(std::function<double()> bytes);

// The texts the environment check shows.
inline constexpr const char* kMsgFileMissing =
    "このアプリケーションで使用しているファイルが見つかりません。\r再インストールしてください。";
inline constexpr const char* kMsgLowSpace =
    "このアプリケーションがあるドライブの空容量が少ない為、このアプリケーションで使用する容量が確保できません。"
    "\rドライブの空容量を増やしてください。";
inline constexpr const char* kMsgMasterBroken =
    "このアプリケーションで使用しているファイル(Master.dat)が壊れている可能性があります。\r再インストールしてください。";
inline constexpr const char* kMsgMasterContent =
    "このアプリケーションで使用しているファイル(Master.dat)の内容が違います。\r再インストールしてください。";
inline constexpr const char* kMsgMasterVersion =
    "このアプリケーションで使用しているファイル(Master.dat)のバージョンが違います。\r再インストールしてください。";

}  // namespace shell

// The installation check. Returns only when everything is in order; otherwise shows the
// failing stage's message and ends the program.
void mfnfCheckEnvironment();

// The single-user lock of Master.dat. At start True means go on, False that the user chose
// not to start; at exit it frees the lock when it is ours. `me` receives the user name.
// A Master.dat that is missing or does not open is left to the environment check.
bool mfnfUserLock(bool fStart, std::string* me = nullptr);
