#include "core/errors.h"

#include <new>
#include <stdexcept>
#include <string>

#include "core/globals.h"
#include "core/log.h"
#include "forms/fatal.h"
#include "forms/msgbox.h"
#include "runtime/error.h"

namespace {

constexpr std::string_view kCrLf = "\r\n";
// What a C++ fault that is not a numbered run-time error reads as.
constexpr long kInternalError = 51;
constexpr long kOutOfMemory = 7;

struct Pending {
    long number = 0;
    std::string description;
};

// The error being handled, read from the exception in flight.
Pending pendingError() {
    const std::exception_ptr current = std::current_exception();
    if (!current) return {};
    try {
        std::rethrow_exception(current);
    } catch (const forms::ProgramEnded&) {
        throw;  // the program has already ended: let that go on
    } catch (const runtime::Error& e) {
        return {e.number(), e.description()};
    } catch (const std::bad_alloc&) {
        return {kOutOfMemory, "Out of memory"};
    } catch (const std::exception& e) {
        return {kInternalError, e.what()};
    } catch (...) {
        return {kInternalError, "Internal error"};
    }
}

void reportFault(std::string_view text, bool fatal) {
    if (fatal) forms::MsgBox("内部エラーが発生しました。", forms::vbOKOnly | forms::vbExclamation, gfnsAppTitle());
    if (gintLogMode) gsbDebugMsg("エラー！" + std::string(kCrLf) + std::string(text));
    if (fatal) forms::endProgram();
}

void reportRuntimeError(long number, const std::string& description, bool fatal) {
    if (fatal || gintLogMode)
        gsbDebugMsg("重大なエラー！" + std::string(kCrLf) + "No." + std::to_string(number) + std::string(kCrLf) +
                    description);
    if (fatal) forms::endProgram();
}

}  // namespace

std::string gfnsAppTitle() {
    const std::string& title = forms::applicationTitle();
    return title.empty() ? std::string(kAppTitle) : title;
}

void gsbErrorMsg(std::string_view text, bool fatal) {
    if (!text.empty()) {
        reportFault(text, fatal);
        return;
    }
    const Pending p = pendingError();
    reportRuntimeError(p.number, p.description, fatal);
}

void gsbErrorMsg(const runtime::Error& error, bool fatal) {
    reportRuntimeError(error.number(), error.description(), fatal);
}

void gsbDebugMsg(std::string_view text) {
    forms::MsgBox(text, forms::vbOKOnly | forms::vbCritical, gfnsAppTitle() + " デバッグ");
    gsbWriteLog(text);
}
