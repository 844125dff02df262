#include "core/files.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QEvent>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "core/errors.h"
#include "dao/files.h"
#include "runtime/error.h"

namespace fs = std::filesystem;

namespace {

std::string& appPathOverride() {
    static std::string p;
    return p;
}

std::string_view withoutTrailingSeparators(std::string_view path) {
    while (path.size() > 1 && path.back() == kPathSeparator) path.remove_suffix(1);
    return path;
}

bool lstatOf(std::string_view path, struct stat& st) {
    return ::lstat(std::string(path).c_str(), &st) == 0;
}

bool statOf(std::string_view path, struct stat& st) {
    return ::stat(std::string(path).c_str(), &st) == 0;
}

}  // namespace

std::string gfnsGetFileName(std::string_view path) {
    const std::string_view p = withoutTrailingSeparators(path);
    const auto cut = p.rfind(kPathSeparator);
    return std::string(cut == std::string_view::npos ? p : p.substr(cut + 1));
}

std::string gfnsGetBaseName(std::string_view path) {
    if (!gfnfFileExists(path)) return {};
    const std::string name = gfnsGetFileName(path);
    const auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string gfnsGetExtension(std::string_view path) {
    const std::string name = gfnsGetFileName(path);
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return ext;
}

std::string gfnsGetFolder(std::string_view path, bool useApp) {
    if (gfnfFileExists(path)) {
        std::error_code ec;
        const fs::path full = fs::absolute(fs::path(std::string(path)), ec);
        return gfnsAddBackslash(full.parent_path().string());
    }
    if (useApp) return gfnsAppPath();
    const std::string_view p = withoutTrailingSeparators(path);
    const auto cut = p.rfind(kPathSeparator);
    // A bare name lies in the current folder; never turn it into the file-system root.
    if (cut == std::string_view::npos) return "./";
    if (cut == 0) return "/";
    return gfnsAddBackslash(p.substr(0, cut));
}

std::string gfnsAddBackslash(std::string_view path) {
    std::string s(path);
    if (s.empty() || s.back() != kPathSeparator) s.push_back(kPathSeparator);
    return s;
}

std::string gfnsAppPath() {
    if (!appPathOverride().empty()) return gfnsAddBackslash(appPathOverride());
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return gfnsAddBackslash(fs::current_path(ec).string());
    return gfnsAddBackslash(exe.parent_path().string());
}

void setAppPathForTesting(std::string path) { appPathOverride() = std::move(path); }

bool gfnfFileExists(std::string_view path) {
    struct stat st {};
    return statOf(path, st) && !S_ISDIR(st.st_mode);
}

bool gfnfFolderExists(std::string_view path) {
    struct stat st {};
    return statOf(path, st) && S_ISDIR(st.st_mode);
}

bool gfnfCheckFileAttr(std::string_view path) {
    struct stat st {};
    if (!lstatOf(path, st)) return false;
    if (S_ISDIR(st.st_mode) || S_ISLNK(st.st_mode)) return false;
    // Read-only is the owner's write bit, as chmod sets it; it does not depend on who runs.
    return (st.st_mode & S_IWUSR) != 0;
}

void gsbDeleteFile(std::string_view path) {
    try {
        struct stat st {};
        if (!lstatOf(path, st)) return;
        if (S_ISDIR(st.st_mode)) runtime::raise(75);
        // An open database would be unlinked under its connection here; the layer refuses.
        dao::deleteFile(std::string(path));
    } catch (...) {
        gsbErrorMsg("", true);
    }
}

std::string gfnvGetUserName() {
    const struct passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? std::string(pw->pw_name) : std::string();
}

namespace {

// Without the Close item, a close request of the window system is refused; a close
// asked for by the program itself still goes through.
class RefuseSystemClose : public QObject {
public:
    static constexpr const char* kName = "kvRefuseSystemClose";
    explicit RefuseSystemClose(QObject* parent) : QObject(parent) { setObjectName(kName); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Close && event->spontaneous()) {
            event->ignore();
            return true;
        }
        return QObject::eventFilter(watched, event);
    }
};

Qt::WindowType hintOf(int item) {
    switch (item) {
    case kSysMenuMinimize: return Qt::WindowMinimizeButtonHint;
    case kSysMenuMaximize: return Qt::WindowMaximizeButtonHint;
    case kSysMenuClose: return Qt::WindowCloseButtonHint;
    default: return Qt::Widget;
    }
}

}  // namespace

std::int32_t gfnlSetSysMenu(QWidget* form, int item, bool enable) {
    if (!form || item < kSysMenuMinimize || item > kSysMenuRestore) return 0;
    // Restore has no button of its own; the window system offers it with maximise.
    if (item == kSysMenuRestore) return 1;
    const bool visible = form->isVisible();
    Qt::WindowFlags flags = form->windowFlags();
    // Once customised, a window shows only the buttons named; start from all of them.
    if (!(flags & Qt::CustomizeWindowHint))
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
    flags.setFlag(hintOf(item), enable);
    form->setWindowFlags(flags);
    if (item == kSysMenuClose) {
        QObject* guard = form->findChild<QObject*>(RefuseSystemClose::kName, Qt::FindDirectChildrenOnly);
        if (!enable && !guard) form->installEventFilter(new RefuseSystemClose(form));
        if (enable && guard) delete guard;
    }
    // Changing window flags hides a shown window; show it again.
    if (visible) form->show();
    return 1;
}
