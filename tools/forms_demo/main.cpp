// forms_demo: the shared widgets on one window, over a small sample document.
//   forms_demo                  shows the window
//   forms_demo --shot FILE.png  renders it (headless too) into a picture and exits
#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <cstdio>
#include <cstring>

#include "core/database.h"
#include "core/list_grids.h"
#include "core/timechart.h"
#include "core/uc_numeric.h"
#include "core/uc_text_num.h"
#include "forms/fonts.h"
#include "forms/grid.h"
#include "forms/surface.h"

namespace {

// A document with names, a day pattern and one recording channel.
void buildSample(const QString& folder) {
    gdbWork = dao::Database::create((folder + "/Regist.dat").toStdString());
    gdbWork.execute("CREATE TABLE tblMessage (fldCh INTEGER, fldComment TEXT, fldUse INTEGER, fldAnsRec INTEGER)");
    gdbWork.execute("CREATE TABLE tblDayPattern (fldNo INTEGER, fldName TEXT, fldStep INTEGER, fldUse INTEGER, fldError INTEGER)");
    gdbWork.execute("CREATE TABLE tblDayStep (fldPatternNo INTEGER, fldHour INTEGER, fldMinute INTEGER, fldMessage INTEGER)");
    const char* names[] = {"営業時間内", "昼休み", "営業時間外", "休日", "年末年始", "臨時休業", "棚卸し", "研修日", "予備"};
    for (int ch = 1; ch <= 12; ++ch)
        gdbWork.execute("INSERT INTO tblMessage VALUES (?1, ?2, ?3, ?4)",
                        {ch, ch <= 9 ? names[ch - 1] : "", ch <= 3, ch == 2});
    const char* patterns[] = {"", "日曜日", "月曜日", "火曜日", "水曜日", "木曜日", "金曜日", "土曜日", "祝日"};
    for (int no = 0; no <= 20; ++no)
        gdbWork.execute("INSERT INTO tblDayPattern VALUES (?1, ?2, ?3, 0, ?4)",
                        {no, no <= 8 ? patterns[no] : std::string(1, static_cast<char>('A' + no - 9)), no == 2 || no == 9,
                         no == 10});
    const int steps[][3] = {{8, 30, 1}, {12, 0, 2}, {13, 0, 1}, {17, 30, 3}, {21, 0, 0}};
    for (const auto& s : steps) gdbWork.execute("INSERT INTO tblDayStep VALUES (2, ?1, ?2, ?3)", {s[0], s[1], s[2]});
}

forms::Grid* patternGrid(QWidget* parent) {
    auto* g = new forms::Grid(parent);
    g->setMaxCols(2);
    g->setMaxRows(20);
    g->setColHidden(0, true);
    g->setText(1, 0, "");
    g->setText(2, 0, "スケジュール名");
    g->setColWidth(1, 3);
    g->setColWidth(2, 22);
    g->setTextTip("登録するスケジュールを選択してください。");
    gsbShowPatternList(*g, false);
    g->setOperationMode(forms::Grid::OperationMode::SingleSelect);
    g->setActiveCell(1, 2);
    return g;
}

forms::Grid* messageGrid(QWidget* parent) {
    auto* g = new forms::Grid(parent);
    g->setMaxCols(3);
    g->setMaxRows(10);
    g->setColHidden(0, true);
    g->setText(1, 0, "No");
    g->setText(2, 0, "メッセージ名");
    g->setText(3, 0, "種類");
    g->setColWidth(1, 3);
    g->setColWidth(2, 22);
    g->setColWidth(3, 5);
    for (int r = 1; r <= 10; ++r) g->setRowHeight(r, 255);
    gsbShowMessageList(*g, 0);
    g->setRowTopBorder(4, true);
    g->fitToRows(10);
    return g;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    forms::installFontSubstitutions();
    app.setFont(forms::makeFont("ＭＳ ゴシック", 9));
    QTemporaryDir folder;
    buildSample(folder.path());

    QWidget window;
    window.setWindowTitle("forms demo");
    auto* layout = new QGridLayout(&window);
    layout->addWidget(new QLabel("パターン一覧"), 0, 0);
    layout->addWidget(patternGrid(&window), 1, 0, 3, 1);
    layout->addWidget(new QLabel("月曜日のタイムチャート"), 0, 1);
    auto* upright = new forms::PictureBox(&window);
    upright->setFixedSize(150, 420);
    layout->addWidget(upright, 1, 1, 3, 1);
    layout->addWidget(new QLabel("メッセージ一覧"), 0, 2);
    layout->addWidget(messageGrid(&window), 1, 2);
    auto* lying = new forms::PictureBox(&window);
    lying->setFixedSize(460, 90);
    layout->addWidget(lying, 2, 2);
    auto* fields = new QWidget(&window);
    auto* row = new QGridLayout(fields);
    row->addWidget(new QLabel("開始時刻"), 0, 0);
    auto* hour = new UcNumeric(fields);
    hour->SetMax(23);
    hour->SetWrap(true);
    hour->SetValue(8);
    hour->resize(50, hour->height());
    auto* minute = new UcNumeric(fields);
    minute->SetMax(59);
    minute->SetWrap(true);
    minute->SetValue(30);
    auto* plain = new UcTextNum(fields);
    plain->SetMin(1);
    plain->SetMax(9);
    plain->SetValue(5);
    row->addWidget(hour, 0, 1);
    row->addWidget(new QLabel("時"), 0, 2);
    row->addWidget(minute, 0, 3);
    row->addWidget(new QLabel("分"), 0, 4);
    row->addWidget(new QLabel("UcTextNum"), 0, 5);
    row->addWidget(plain, 0, 6);
    layout->addWidget(fields, 3, 2);

    window.resize(980, 480);
    window.show();
    app.processEvents();
    gsbDrawPatternChart(*upright, 2);
    gsbDrawPatternChart(*lying, 2);

    if (argc == 3 && std::strcmp(argv[1], "--shot") == 0) {
        app.processEvents();
        const bool ok = window.grab().save(QString::fromLocal8Bit(argv[2]));
        gdbWork.close();
        if (!ok) std::fprintf(stderr, "forms_demo: cannot write %s\n", argv[2]);
        return ok ? 0 : 1;
    }
    const int rc = app.exec();
    gdbWork.close();
    return rc;
}
