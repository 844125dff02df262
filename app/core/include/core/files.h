#pragma once
// Files, paths and system calls: what the program asks of the file system, how it
// deletes files, whose session it runs in, and the Close item of a window.
#include <cstdint>
#include <string>
#include <string_view>

class QWidget;

// The separator every file path is built with.
inline constexpr char kPathSeparator = '/';

// File name without folder and extension when the file exists, else "".
std::string gfnsGetBaseName(std::string_view path);
// Last component of the path, whether or not it exists.
std::string gfnsGetFileName(std::string_view path);
// Text after the last dot of the last component, in lower case; "" when there is none.
std::string gfnsGetExtension(std::string_view path);
// The path's folder with a trailing separator. For a missing file and useApp, the
// program folder instead. A bare file name gives the current folder ("./").
std::string gfnsGetFolder(std::string_view path, bool useApp);
// The path with a trailing separator.
std::string gfnsAddBackslash(std::string_view path);
// The executable's folder with a trailing separator.
std::string gfnsAppPath();
// Tests make the program folder a folder of their own; "" restores the executable's.
void setAppPathForTesting(std::string path);

// A file (not a folder) exists at path; a link counts by what it points to.
bool gfnfFileExists(std::string_view path);
bool gfnfFolderExists(std::string_view path);
// The file exists and is neither read-only, a folder nor a symbolic link.
bool gfnfCheckFileAttr(std::string_view path);

// Deletes the file when it exists, read-only or not. A file that cannot be deleted (a
// database still open, a missing right) is a fatal error.
void gsbDeleteFile(std::string_view path);

// The user name of the process; "" when there is none.
std::string gfnvGetUserName();

// Items of a window's system menu.
inline constexpr int kSysMenuMinimize = 0;
inline constexpr int kSysMenuMaximize = 1;
inline constexpr int kSysMenuClose = 2;
inline constexpr int kSysMenuRestore = 3;
// Enables, or greys and removes, one item of the window's system menu. Without Close,
// the window has no close button and ignores a close request of the window system; the
// program can still close it. Returns nonzero on success, 0 for an unknown item.
std::int32_t gfnlSetSysMenu(QWidget* form, int item, bool enable);
