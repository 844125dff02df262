#pragma once
// Where controls are created by class name: classes registered in the process (tests
// register fakes), or classes that a shared library in the program folder provides.
//
// A control library exports
//     extern "C" com::Control* kvCreateInstance(const char* className);
// returning nullptr for a class it does not have.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "com/dispatch.h"

namespace com {

using Factory = std::function<std::unique_ptr<Control>()>;

void registerClass(const std::string& className, Factory factory);
// The class comes from `library` (a file name in the program folder, or a path).
void registerLibraryClass(const std::string& className, const std::filesystem::path& library);
void unregisterClass(const std::string& className);

// The folder that library file names are looked up in (the program folder).
void setLibraryFolder(std::filesystem::path folder);

HResult createInstance(const std::string& className, std::unique_ptr<Control>& out) noexcept;

}  // namespace com
