#pragma once
// The system's print queues and its page set-up dialog need Qt's print support, which
// would otherwise load with the program, before its window. They live in a module of
// their own beside the program (libkv_print_queues.so), loaded at their first use.
#include <string>
#include <vector>

#include "printer/printer_info.h"

class QPageLayout;
class QWidget;

namespace printer::detail {

struct Queues {
    // The installed queues in the system's order, and the name of the default one.
    std::vector<PrinterInfo> (*list)();
    std::string (*defaultName)();
    // The system's page set-up dialog on a layout; false when the user cancelled.
    bool (*pageSetup)(QPageLayout& layout, int resolution, QWidget* parent);
};

// The module's entry points, or null when it cannot be loaded: then the PDF printer is
// the only printer.
const Queues* queues();

}  // namespace printer::detail

// The one symbol the module exports.
extern "C" const printer::detail::Queues* kvPrintQueues();
