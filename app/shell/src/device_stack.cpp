// The reader's device stack as a module the program loads with its first card control, so
// that the start loads none of the stack's libraries (kernel host, USB bus, emulator,
// libusb).
#include <exception>
#include <string>

#include "devices/system.h"
#include "shell/reader_bus.h"

// Starts the stack for a program folder, once; the text of what went wrong, or "". The
// text lives as long as the process.
extern "C" __attribute__((visibility("default"))) const char* kvStartDeviceStack(const char* programFolder) {
    try {
        return devices::startSystem(programFolder, shell::readerBus(programFolder)).error().c_str();
    } catch (const std::exception& e) {
        static std::string failure;
        failure = e.what();
        return failure.c_str();
    }
}
