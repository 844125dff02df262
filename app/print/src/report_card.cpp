// The card information report: what the card in the reader holds, read from the card
// window's control.
#include <vector>

#include "com/dispatch.h"
#include "com/variant.h"
#include "core/strings.h"
#include "print/framework.h"
#include "print/print.h"
#include "report_util.h"
#include "runtime/error.h"
#include "runtime/numeric.h"

using print::ck;
using print::i16;
using print::state;

namespace {

// Dispatch identifiers of the control's members the report reads.
enum : int {
    kCardName = 3, kCardSize = 5, kCardRemain = 6, kRecBoard = 7, kBusyCircuit = 8, kCardTime = 15,
    kVersionProgram = 40, kVersionCard = 41, kUpDateSetting = 42, kUpDateSchedule = 43,
    kMessageTime = 45, kMessageName = 46, kPatternSet = 48, kMessageAnsRec = 49, kMsgRecTime = 50,
};

// The control's values are taken as they come: a member that fails reads as empty.
class CardValues {
public:
    explicit CardValues(com::Control& control) : control_(control) {}

    std::string text(int id, std::vector<com::Variant> index = {}) {
        std::string s;
        get(id, std::move(index)).toBStr(s);
        return s;
    }
    std::int32_t number(int id, std::vector<com::Variant> index = {}) {
        std::int32_t n = 0;
        if (get(id, std::move(index)).toI4(n) != com::Ok) n = 0;
        return n;
    }
    bool flag(int id, std::vector<com::Variant> index = {}) {
        bool b = false;
        if (get(id, std::move(index)).toBool(b) != com::Ok) b = false;
        return b;
    }
    // An indexed part (version or date), through its text into 16 bits.
    i16 part(int id, int i) { return runtime::cint(runtime::val(text(id, {com::Variant::i2(static_cast<std::int16_t>(i))}))); }
    // A member indexed by a channel or pattern number passed by reference.
    std::int32_t numberOf(int id, int n) {
        com::Variant v = com::Variant::i2(static_cast<std::int16_t>(n));
        return number(id, {com::Variant::byRef(v)});
    }
    bool flagOf(int id, int n) {
        com::Variant v = com::Variant::i2(static_cast<std::int16_t>(n));
        return flag(id, {com::Variant::byRef(v)});
    }
    std::string textOf(int id, int n) {
        com::Variant v = com::Variant::i2(static_cast<std::int16_t>(n));
        return text(id, {com::Variant::byRef(v)});
    }

private:
    com::Variant get(int id, std::vector<com::Variant> index) {
        com::Variant result;
        if (com::getProperty(control_, id, result, std::move(index)) != com::Ok) return {};
        return result;
    }
    com::Control& control_;
};

std::string yesNo(bool b) { return b ? "あり" : "なし"; }

// One boxed cell at X; X moves on by its width.
void cell(const std::string& text, i16 width = 0) {
    auto& s = state();
    s.buffer = text;
    s.x = ck(s.x + pfniPrintRuleText(true, width));
}

void heading(const std::string& text, i16 dy) {
    auto& s = state();
    print::setReportFont(s.output(), 11);
    s.x = s.leftMargin;
    s.y = ck(s.y + dy);
    s.buffer = text;
    pfniPrintRuleText(false, 0);
    s.y = ck(s.y + s.metric(11).lineHeight);
    print::setReportFont(s.output(), 9);
}

bool pfnfPrintChartCard(i16 iService, CardValues& card) {
    auto& s = state();
    const bool service = iService == 1;
    const auto& m9 = s.metric(9);
    const auto& m11 = s.metric(11);
    const i16 indent = ck(2 * m11.charWidth);
    const i16 start = ck(s.leftMargin + indent);

    print::setReportFont(s.output(), 11);
    s.x = s.leftMargin;
    s.buffer = "カード";
    pfniPrintRuleText(false, 0);
    s.y = ck(s.y + m11.lineHeight);
    print::setReportFont(s.output(), 9);
    s.x = start;
    cell("カード名：" + card.text(kCardName), ck(2 * m9.halfWidth + 30 * m9.charWidth));
    if (service) {
        s.x = ck(s.x + 4 * m9.charWidth);
        cell("本体Ver：" + gfnsVersionToStr(card.part(kVersionCard, 0), card.part(kVersionCard, 1), card.part(kVersionCard, 2)));
        s.x = ck(s.x + 2 * m9.charWidth);
        cell("Ｂｕｓｙ検出回路：" + yesNo(card.flag(kBusyCircuit)));
        s.x = ck(s.x + 2 * m9.charWidth);
        cell("録音ボード：" + yesNo(card.flag(kRecBoard)));
        heading("機能設定", ck(m11.lineHeight + m11.textOffset));
        s.x = start;
        cell("更新日：" + gfnsDateToStr(card.part(kUpDateSetting, 0), card.part(kUpDateSetting, 1), card.part(kUpDateSetting, 2)));
    }
    heading("スケジュール", ck(m11.lineHeight + m11.textOffset));
    s.x = start;
    cell("更新日：" + gfnsDateToStr(card.part(kUpDateSchedule, 0), card.part(kUpDateSchedule, 1), card.part(kUpDateSchedule, 2)));

    s.y = ck(s.y + m11.lineHeight);
    s.linesPage = 21;
    setColumnTable({{25, "スケジュール", print::kAlignLeft}, {8, "登録", print::kAlignCentre}});
    psbSetColumnPos(9);
    s.x = start;
    psbPrintColumnHeader(9);
    for (int n = 1; n <= 20; ++n) {
        s.x = start;
        s.column(0).text = gfnsGetPatternName(n);
        s.column(1).text = card.flagOf(kPatternSet, n) ? "○" : "";
        psbPrintRow(true);
        s.y = ck(s.y + m9.lineHeight);
    }

    heading("メッセージ", ck(m11.lineHeight + m11.textOffset - m9.lineHeight));
    s.x = start;
    bool ansRec = false;
    for (int ch = 1; ch <= 9; ++ch) ansRec = ansRec || card.flagOf(kMessageAnsRec, ch);
    s.linesPage = service ? 14 : 13;
    if (ansRec)
        setColumnTable({{4, "番号", print::kAlignCentre}, {20, "メッセージ名", print::kAlignLeft},
                        {service ? 20 : 10, "録音時間", print::kAlignCentre}, {8, "応答", print::kAlignCentre}});
    else
        setColumnTable({{4, "番号", print::kAlignCentre}, {20, "メッセージ名", print::kAlignLeft},
                        {service ? 20 : 10, "録音時間", print::kAlignCentre}});
    psbSetColumnPos(9);
    psbPrintColumnHeader(9);
    auto row = [&](int ch, const std::string& name, const std::string& time, const std::string& answer) {
        s.x = start;
        s.column(0).text = gfnsGetChannelStr(ch, false);
        s.column(1).text = name;
        s.column(2).text = time;
        if (ansRec) s.column(3).text = answer;
        psbPrintRow(true);
        s.y = ck(s.y + m9.lineHeight);
    };
    for (int ch = 1; ch <= 12; ++ch) {
        std::string time = gfnsMsecToStr(card.numberOf(kMessageTime, ch), false);
        if (service) time += "(" + gfnsMsecToStr(card.numberOf(kMsgRecTime, ch), true) + ")";
        row(ch, card.textOf(kMessageName, ch), time, ch >= 10 ? "－" : gfnsAnsRecStr(card.flagOf(kMessageAnsRec, ch)));
    }
    if (service)
        row(24,
            gfnsGetChannelStr(24, true) + " Ver." +
                gfnsVersionToStr(card.part(kVersionProgram, 0), card.part(kVersionProgram, 1), card.part(kVersionProgram, 2)),
            gfnsMsecToStr(card.numberOf(kMessageTime, 24), false) + "(" + gfnsMsecToStr(card.numberOf(kMsgRecTime, 24), true) + ")",
            "－");

    s.x = start;
    s.y = ck(s.y + m9.textOffset);
    std::string kind = "種類：" + gfnsMinuteStr(card.number(kCardSize));
    if (service) kind += "(" + gfnsMsecToStr(card.number(kCardTime), true) + ")";
    cell(kind);
    s.x = ck(s.x + 2 * m9.charWidth);
    cell("録音残時間：" + gfnsMsecToStr(card.number(kCardRemain), service));
    return true;
}

}  // namespace

bool gfnfPrintCard(i16 iService) {
    auto& s = state();
    com::Control* control = print::cardControl();
    if (!control) runtime::raise(runtime::err::ObjectNotSet);
    CardValues card(*control);
    s.fontSize = 9;
    s.pageNo = 1;
    s.pageCount = 1;
    psbPrintHeader(11);
    psbShowPrintPage();
    const bool result = pfnfPrintChartCard(iService, card);
    psbPrintFooter(9);
    return result;
}
