#include "job_file.h"

#include <QDir>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <string_view>

namespace printer {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPrefix = ".KV_M58S-job-";
constexpr std::string_view kSuffix = ".pdf";
// A PDF file ends with this marker, after its cross-reference table.
constexpr std::string_view kEndOfPdf = "%%EOF";
constexpr qint64 kTailBytes = 1024;

// The process that made a job file, from its name ".KV_M58S-job-<pid>-<n>.pdf"; 0 when
// the name is not a job file's.
pid_t jobOwner(std::string_view name) {
    if (name.size() <= kPrefix.size() + kSuffix.size() || !name.starts_with(kPrefix) || !name.ends_with(kSuffix))
        return 0;
    name = name.substr(kPrefix.size(), name.size() - kPrefix.size() - kSuffix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || dash + 1 == name.size()) return 0;
    if (name.substr(dash + 1).find_first_not_of("0123456789") != std::string_view::npos) return 0;
    pid_t pid = 0;
    const auto [end, ec] = std::from_chars(name.data(), name.data() + dash, pid);
    return ec == std::errc() && end == name.data() + dash && pid > 0 ? pid : 0;
}

bool running(pid_t pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

bool endsAsPdf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    if (file.size() > kTailBytes && !file.seek(file.size() - kTailBytes)) return false;
    return file.readAll().contains(QByteArray::fromRawData(kEndOfPdf.data(), kEndOfPdf.size()));
}

}  // namespace

std::string newJobFile(const std::string& pdfFile) {
    static std::atomic<int> counter{0};
    const std::string name =
        std::string(kPrefix) + std::to_string(::getpid()) + "-" + std::to_string(++counter) + std::string(kSuffix);
    const fs::path dir = pdfFile.empty() ? fs::path(QDir::tempPath().toStdString()) : fs::path(pdfFile).parent_path();
    return (dir / name).string();
}

void removeJobFilesLeftIn(const std::vector<std::string>& folders) {
    for (const std::string& folder : folders) {
        std::error_code ec;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            const pid_t owner = jobOwner(it->path().filename().string());
            // A job of this process may be under way; one of a process still running is its own.
            if (owner == 0 || owner == ::getpid() || running(owner)) continue;
            std::error_code gone;
            fs::remove(it->path(), gone);
        }
    }
}

JobFile::JobFile(const std::string& path) : QFile(QString::fromStdString(path)) {}

qint64 JobFile::writeData(const char* data, qint64 len) {
    const qint64 written = QFile::writeData(data, len);
    if (written != len) failed_ = true;
    return written;
}

bool JobFile::finish() {
    bool ok = !failed_ && flush() && ::fsync(handle()) == 0;
    close();
    ok = ok && error() == QFileDevice::NoError;
    return ok && endsAsPdf(fileName());
}

}  // namespace printer
