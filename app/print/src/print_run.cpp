// The print dialog's print run, its stored options and the printer set-up.
#include <QComboBox>
#include <QLabel>
#include <array>
#include <optional>

#include "core/database.h"
#include "core/errors.h"
#include "core/globals.h"
#include "core/messages.h"
#include "forms/controls.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "print/device.h"
#include "print/framework.h"
#include "print/modal.h"
#include "print/preview_window.h"
#include "print/print_dialog.h"
#include "printer/preview.h"
#include "printer/printer.h"
#include "runtime/error.h"
#include "runtime/format.h"
#include "runtime/numeric.h"

using print::i16;

namespace {

struct PrintOption {
    const char* key;
    i16 fallback;
};
// Left, right, top, bottom margin, line width, paper width, height and code.
constexpr std::array<PrintOption, 8> kOptions{{{"印刷の左余白", 25},
                                                {"印刷の右余白", 15},
                                                {"印刷の上余白", 15},
                                                {"印刷の下余白", 15},
                                                {"印刷の罫線幅", 4},
                                                {"用紙幅", 210},
                                                {"用紙高さ", 297},
                                                {"用紙サイズ", 9}}};

struct PrinterSettings {
    int scaleMode, orientation, paperSize;
    double height, width;
};

bool isDeviceError(long n) {
    return n == runtime::err::DeviceIo || n == runtime::err::DeviceUnavailable || n == runtime::err::PrinterError ||
           n == runtime::err::PrinterProperty || n == runtime::err::PrinterInfo;
}

// Puts the printer's own settings back and makes the default printer current again.
void restorePrinter(const std::optional<PrinterSettings>& saved) {
    try {
        printer::Printer& p = printer::currentPrinter();
        if (saved && p.hasPrinter()) {
            p.setScaleMode(saved->scaleMode);
            p.setOrientation(saved->orientation);
            if (saved->paperSize == printer::kPaperUser) {
                p.setHeight(saved->height);
                p.setWidth(saved->width);
            } else {
                p.setPaperSize(saved->paperSize);
            }
        }
        printer::selectDefaultPrinter();
    } catch (const runtime::Error&) {
        // The job is over either way; a printer that vanished meanwhile has nothing to restore.
    }
}

}  // namespace

void frmPrinter::msbPrint(i16 iPage, bool fPreview) {
    auto& memory = print::dialogMemory();
    auto& sinks = print::sinks();
    std::optional<PrinterSettings> saved;
    sinks.progress = [this](const std::string& s) {
        lblPrint_->setText(QString::fromStdString(s));
        lblPrint_->setVisible(true);
        lblPrint_->repaint();
    };
    try {
        psbSetPrinting(false);
        psbGetMargin();
        if (!fPreview) {
            // A cancel that came after the last progress point of an earlier run is stale.
            print::state().cancelRequest = false;
            printer::selectPrinter(cboPrinter_->currentIndex());
            const printer::Printer& p = printer::currentPrinter();
            saved = PrinterSettings{p.scaleMode(), p.orientation(), p.paperSize(), p.height(), p.width()};
        } else {
            frmPrintPreview& window = previewWindow();
            sinks.previewCanvas = window.picPaper();
            sinks.previewPages = [&window](i16 count, i16 page) {
                window.setPageCount(count);
                window.setPageNo(page);
            };
        }
        sinks.entries = {txtMargin_[0]->text().toStdString(), txtMargin_[2]->text().toStdString(),
                         txtMargin_[1]->text().toStdString(), txtMargin_[3]->text().toStdString(),
                         txtWidthLine_->text().toStdString()};
        sinks.orientation = lblOrientation_->text().toStdString();
        const PrintMargins margins{memory.margins[0], memory.margins[2], memory.margins[1], memory.margins[3]};
        gsbSetPrintDevice(margins, memory.lineWidth, lblOrientation_->text().toStdString(), fPreview,
                          chkMargin_->value() == forms::vbChecked, iPage);
        const bool result = runReport();

        if (!fPreview) {
            printer::currentPrinter().endDoc();
            restorePrinter(saved);
        } else {
            preview_->picPaper()->setAutoRedraw(false);
            forms::setScreenPointer(forms::vbDefault);
            if (!result) {
                closePreview();
                psbSetPrinting(true);
                return;
            }
            if (!previewShowing_) {
                previewShowing_ = true;
                print::showModal(*preview_);
                previewShowing_ = false;
                closePreview();
            }
            psbSetPrinting(true);
            return;
        }
        if (result) {
            forms::MsgBox("印刷が終了しました。", forms::vbOKOnly);
            setEnabled(false);
            hide();
            forms::doEvents();
            unload();
            forms::setScreenPointer(forms::vbDefault);
        } else {
            psbSetPrinting(true);
        }
    } catch (const runtime::Error& e) {
        // A report too long for its page (a position past the 16-bit range) stops the
        // job like a printer fault: the user is told, the job is discarded.
        if (isDeviceError(e.number()) || e.number() == runtime::err::Overflow) {
            gfniMsgBox(201);
            gsbErrorMsg(e, false);
        } else if (e.number() != runtime::err::Cancel) {
            gsbErrorMsg(e, true);
            return;
        }
        if (!fPreview) {
            printer::currentPrinter().killDoc();
            restorePrinter(saved);
        } else if (preview_) {
            preview_->picPaper()->setAutoRedraw(false);
            closePreview();
        }
        psbSetPrinting(true);
        setEnabled(false);
        hide();
        unload();
    }
}

void frmPrinter::psbReadPrintOption() {
    const auto& memory = print::dialogMemory();
    std::array<i16, 8> values{memory.margins[0], memory.margins[1], memory.margins[2], memory.margins[3],
                             memory.lineWidth, 0, 0, 0};
    dao::Database db;
    gsbOpenDatabase(db, gstrDataPath + "Master.dat");
    {
        auto rs = db.openRecordset("SELECT * FROM tblOption");
        for (std::size_t i = 0; i < kOptions.size(); ++i) {
            if (values[i] != 0) continue;
            values[i] = kOptions[i].fallback;
            rs.findFirst(std::string("fldOptionItem = '") + kOptions[i].key + "'");
            const std::string fallback = std::to_string(kOptions[i].fallback);
            if (rs.noMatch()) {
                rs.addNew();
                rs.set("fldOptionItem", kOptions[i].key);
                rs.set("fldOptionValue", fallback);
                rs.update();
            } else if (rs["fldOptionValue"].isNull() || runtime::val(rs["fldOptionValue"].toText()) == 0) {
                rs.edit();
                rs.set("fldOptionValue", fallback);
                rs.update();
            } else {
                values[i] = runtime::cint(runtime::val(rs["fldOptionValue"].toText()));
            }
        }
    }
    txtMargin_[0]->setText(QString::number(values[0]));
    txtMargin_[1]->setText(QString::number(values[2]));
    txtMargin_[2]->setText(QString::number(values[1]));
    txtMargin_[3]->setText(QString::number(values[3]));
    txtWidthLine_->setText(QString::number(values[4]));
    lblPaperSize_->setText(QString::fromStdString(gfnsPaperName(values[7], values[5], values[6])));
    gsbCloseDatabase(db);
}

void frmPrinter::cmdSave_Click() {
    if (forms::MsgBox("余白欄の設定を保存しますか？\n保存すると次回起動から初期値が変更されます。",
                      forms::vbYesNo + forms::vbQuestion) == forms::vbNo)
        return;
    forms::setScreenPointer(forms::vbHourglass);
    forms::doEvents();
    dao::Database db;
    gsbOpenDatabase(db, gstrDataPath + "Master.dat");
    const std::array<std::pair<forms::TextBox*, const char*>, 5> pairs{{{txtMargin_[0], "印刷の左余白"},
                                                                        {txtMargin_[2], "印刷の右余白"},
                                                                        {txtMargin_[1], "印刷の上余白"},
                                                                        {txtMargin_[3], "印刷の下余白"},
                                                                        {txtWidthLine_, "印刷の罫線幅"}}};
    try {
        for (const auto& [box, key] : pairs)
            db.execute("UPDATE tblOption SET fldOptionValue = ?1 WHERE fldOptionItem = ?2",
                       {runtime::cstr(runtime::val(box->text().toStdString())), key});
    } catch (const runtime::Error& e) {
        gsbCloseDatabase(db);
        forms::setScreenPointer(forms::vbDefault);
        gsbErrorMsg(e, true);
        return;
    }
    gsbCloseDatabase(db);
    forms::setScreenPointer(forms::vbDefault);
}

void frmPrinter::cmdProperty_Click() {
    try {
        printer::showPrinterSetup(this);
    } catch (const runtime::Error& e) {
        if (e.number() != runtime::err::Cancel) gsbErrorMsg(e, true);
    }
}
