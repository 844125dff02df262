#pragma once
// Printing tests: a new document in a fresh program folder, a recording canvas as the
// preview picture, fake printers that write PDF files into the folder, and helpers to
// read what was drawn.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document_fixture.h"
#include "pdf_reader.h"
#include "print/device.h"
#include "print/framework.h"
#include "print/state.h"
#include "printer/printer.h"
#include "printer/recording.h"
#include "runtime/error.h"

namespace printtest {

inline long errorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const runtime::Error& e) {
        return e.number();
    }
    return 0;
}

class PrintTest : public coretest::NewDocument {
protected:
    void SetUp() override {
        NewDocument::SetUp();
        print::state() = print::PrintState{};
        print::sinks() = print::PrintSinks{};
        print::sinks().previewCanvas = &canvas_;
        print::sinks().progress = [this](const std::string& s) { progress_.push_back(s); };
        gfServiceMode = vbFalse;
    }
    void TearDown() override {
        print::sinks() = print::PrintSinks{};
        print::state() = print::PrintState{};
        printer::setPrintersForTesting(std::nullopt);
        NewDocument::TearDown();
    }

    // A printer that writes <name>.pdf in the program folder; offsets in its pixels.
    printer::PrinterInfo fakePrinter(const std::string& name, int dpi = 600, int offsetX = 0, int offsetY = 0) {
        printer::PrinterInfo info;
        info.deviceName = name;
        info.driverName = "fake driver";
        info.port = name + ":";
        info.pdfFile = file(name + ".pdf");
        info.dpiX = info.dpiY = dpi;
        info.offsetX = offsetX;
        info.offsetY = offsetY;
        return info;
    }
    void usePrinters(std::vector<printer::PrinterInfo> list, int defaultIndex = 0) {
        printer::setPrintersForTesting(std::move(list), defaultIndex);
        printer::selectDefaultPrinter();
    }

    // A preview run on the recording canvas: A4, margins 25/15/15/15 mm.
    void previewDevice(const std::string& orientation = kPortraitText, print::i16 page = 1) {
        gfnsPaperName(9, 0, 0);
        gsbSetPrintDevice(PrintMargins{25, 15, 15, 15}, 4, orientation, true, false, page);
        canvas_.clearOps();
    }

    std::string pdfText(const std::string& name) { return printertest::pdfText(file(name + ".pdf")); }

    printer::RecordingCanvas canvas_{11907, 16840};
    std::vector<std::string> progress_;
};

// Whether a text op with exactly this text exists.
inline bool hasText(const printer::RecordingCanvas& c, std::string_view text) { return c.findText(text) != nullptr; }

// How many text ops print exactly this text (on one page when page > 0).
inline long countText(const printer::RecordingCanvas& c, const std::string& text, int page = 0) {
    const auto texts = c.texts(page);
    return std::count(texts.begin(), texts.end(), text);
}

}  // namespace printtest
