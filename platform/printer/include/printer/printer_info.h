#pragma once
// What the program knows of a printer: the system's queues and the PDF printer alike.
#include <string>

namespace printer {

struct PrinterInfo {
    std::string deviceName;
    std::string driverName;
    std::string port;
    // Not empty: the printer writes this PDF file instead of a system print queue.
    std::string pdfFile;
    int dpiX = 600;
    int dpiY = 600;
    // The unprintable edge on each side, in device pixels.
    int offsetX = 0;
    int offsetY = 0;
};

}  // namespace printer
