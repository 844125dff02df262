// The folder chooser, and the summary of a saved message set.
#include "wizard/folder_chooser.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTreeView>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>
#include <filesystem>
#include <fstream>
#include <utility>

#include "core/errors.h"
#include "core/files.h"
#include "core/globals.h"
#include "core/input_filters.h"
#include "core/strings.h"
#include "forms/msgbox.h"
#include "forms/services.h"
#include "runtime/error.h"
#include "text/text.h"
#include "wizard/host.h"

namespace {

constexpr int kTwips = 15;
constexpr const char* kCreateTitle = "フォルダの作成";
const QColor kCellColour(0xE2, 0xE2, 0xE2);

int px(int twips) { return twips / kTwips; }

std::string withSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// The text after the first "：", cut to 20 bytes; empty without one.
std::string afterColon(const std::string& line) {
    const auto at = line.find("：");
    return at == std::string::npos ? std::string() : gfnsLeftB(line.substr(at + std::string("：").size()), 20);
}

// The numeric value of a line's leading digits.
int leadingNumber(const std::string& line) {
    std::size_t i = 0;
    while (i < line.size() && line[i] == ' ') ++i;
    int n = 0;
    for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && n < 1000; ++i)
        n = n * 10 + (line[i] - '0');
    return n;
}

}  // namespace

std::string wizard::setLengthText(std::int64_t ms) {
    if (ms <= std::numeric_limits<std::int32_t>::max())
        return gfnsMsecToStr(static_cast<std::int32_t>(std::max<std::int64_t>(ms, -1)), false);
    const long long s = (ms + 500) / 1000;
    char text[48];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

frmGetFolder::frmGetFolder(QWidget* owner, MessageLength length)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), length_(std::move(length)) {
    setObjectName("frmGetFolder");
    setWindowTitle("フォルダの参照");
    setModal(true);
    lblTitle_ = new QLabel("選択フォルダ", this);
    lblFolder_ = new QLabel(this);
    drvFolder_ = new QComboBox(this);
    drvFolder_->addItem("/");
    dirModel_ = new QFileSystemModel(this);
    dirModel_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    dirModel_->setRootPath("/");
    dirFolder_ = new QTreeView(this);
    dirFolder_->setModel(dirModel_);
    for (int c = 1; c < dirModel_->columnCount(); ++c) dirFolder_->hideColumn(c);
    dirFolder_->header()->hide();
    fleFolder_ = new QListWidget(this);
    cmdOK_ = new QPushButton("OK", this);
    cmdOK_->setDefault(true);
    cmdCancel_ = new QPushButton("キャンセル", this);
    cmdCreate_ = new QPushButton("フォルダの作成", this);
    cmdCreate_->setToolTip("新しいフォルダの作成");

    lblTitle_->setGeometry(px(120), px(120), px(4000), px(255));
    lblFolder_->setGeometry(px(120), px(400), px(4800), px(255));
    dirFolder_->setGeometry(px(120), px(760), px(3000), px(3200));
    drvFolder_->setGeometry(px(120), px(4080), px(3000), px(315));
    fleFolder_->setGeometry(px(3240), px(760), px(1800), px(3635));
    cmdOK_->setGeometry(px(120), px(4560), px(1200), px(375));
    cmdCancel_->setGeometry(px(1440), px(4560), px(1200), px(375));
    cmdCreate_->setGeometry(px(3240), px(4560), px(1800), px(375));

    fraFolder_ = new QGroupBox("フォルダ情報", this);
    fraFolder_->setGeometry(px(5280), px(120), px(6600), px(4815));
    auto* fraCardName = new QGroupBox("カード名", fraFolder_);
    fraCardName->setGeometry(px(120), px(240), px(6360), px(615));
    lblCardName_ = new QLabel(fraCardName);
    lblCardName_->setGeometry(px(120), px(240), px(6120), px(255));
    lblCardError_ = new QLabel("メッセージファイルがありません", fraCardName);
    lblCardError_->setGeometry(px(120), px(240), px(6120), px(255));
    auto* fraMessage = new QGroupBox("メッセージ", fraFolder_);
    fraMessage->setGeometry(px(120), px(960), px(6360), px(3360));
    sstMessage_ = new QTableWidget(12, 4, fraMessage);
    sstMessage_->setHorizontalHeaderLabels({"番号", "メッセージ名", "録音時間", "ms"});
    sstMessage_->verticalHeader()->hide();
    sstMessage_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    sstMessage_->setGeometry(px(120), px(240), px(6120), px(3000));
    lblTotal_ = new QLabel("総録音時間", fraFolder_);
    lblTotal_->setGeometry(px(3600), px(4440), px(1200), px(255));
    lblTotalTime_ = new QLabel("--:--", fraFolder_);
    lblTotalTime_->setGeometry(px(4920), px(4440), px(1200), px(255));
    fitSummary(fraMessage);
    fraFolder_->hide();

    // The folder lists fill in after the window opens, and rows that sort before the chosen
    // folder push it down: keep it in view until the user scrolls the list himself.
    const auto keepInView = [this] {
        if (followFolder_) dirFolder_->scrollTo(dirFolder_->currentIndex());
    };
    connect(dirModel_, &QFileSystemModel::rowsInserted, this, keepInView);
    connect(dirModel_, &QFileSystemModel::layoutChanged, this, keepInView);
    connect(dirModel_, &QFileSystemModel::directoryLoaded, this, keepInView);
    connect(dirFolder_->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { followFolder_ = false; });
    connect(dirFolder_, &QTreeView::clicked, this,
            [this](const QModelIndex& index) { setFolder(dirModel_->filePath(index).toStdString()); });
    connect(fleFolder_, &QListWidget::itemClicked, this, [this] { fleFolder_->clearSelection(); });
    connect(cmdOK_, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdCancel_, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdCreate_, &QPushButton::clicked, this, [this] { cmdCreate_Click(); });
    // Narrowed to the folder part until mode 1 asks for the summary.
    setFixedSize(px(5040) + px(360), px(5100));
}

// All twelve channels show, each row as high as its text: the table, its frame and the
// total below them take the height the rows need in the window's font.
void frmGetFolder::fitSummary(QWidget* fraMessage) {
    QHeaderView* rows = sstMessage_->verticalHeader();
    rows->setMinimumSectionSize(0);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(sstMessage_->fontMetrics().height() + 6);
    QHeaderView* columns = sstMessage_->horizontalHeader();
    for (int c : {0, 2, 3}) columns->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    columns->setSectionResizeMode(1, QHeaderView::Stretch);
    const int needed = columns->sizeHint().height() + 12 * rows->defaultSectionSize() + 2 * sstMessage_->frameWidth();
    summaryGrowth_ = std::max(0, needed - sstMessage_->height());
    sstMessage_->resize(sstMessage_->width(), sstMessage_->height() + summaryGrowth_);
    fraMessage->resize(fraMessage->width(), fraMessage->height() + summaryGrowth_);
    fraFolder_->resize(fraFolder_->width(), fraFolder_->height() + summaryGrowth_);
    for (QWidget* below : std::initializer_list<QWidget*>{lblTotal_, lblTotalTime_})
        below->move(below->x(), below->y() + summaryGrowth_);
}

std::string frmGetFolder::mfnsGetFolder(const std::string& sDefault, const std::string& sNewFolder, int iIndex) {
    mode_ = iIndex;
    std::string start = sDefault;
    if (start.empty() || !gfnfFolderExists(start)) start = gstrDataPath;
    if (mode_ == 1) {
        fraFolder_->show();
        setFixedSize(fraFolder_->geometry().right() + px(240), height() + summaryGrowth_);
        cmdCreate_->hide();
    }
    setFolder(start);
    proposal_ = sNewFolder;
    selected_.clear();
    exec();
    return selected_;
}

void frmGetFolder::setFolder(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    folder_ = ec ? path : canonical.string();
    const QModelIndex index = dirModel_->index(QString::fromStdString(folder_));
    if (index.isValid()) {
        dirFolder_->setCurrentIndex(index);
        dirFolder_->scrollTo(index);
        followFolder_ = true;
    }
    dirFolder_Change();
}

// The file list follows the folder; the label shows it cut to 45 bytes; mode 1 sums up.
void frmGetFolder::dirFolder_Change() {
    fleFolder_->clear();
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec))
        if (entry.is_regular_file(ec)) fleFolder_->addItem(QString::fromStdString(entry.path().filename().string()));
    fleFolder_->sortItems();
    lblFolder_->setText(QString::fromStdString(gfnsLeftB(folder_, 45)));
    lblFolder_->setToolTip(QString::fromStdString(folder_));
    if (mode_ == 1) showSummary();
}

void frmGetFolder::cmdOK_Click() {
    selected_ = folder_;
    accept();
}

void frmGetFolder::cmdCancel_Click() {
    selected_.clear();
    QDialog::reject();
}

void frmGetFolder::reject() { cmdCancel_Click(); }

bool frmGetFolder::validName(const std::string& name) const {
    for (char c : name) {
        if (std::string_view("\"*,/:;<>?\\|").find(c) != std::string_view::npos) {
            forms::MsgBox("フォルダ名には次の文字は使えません。\r\n\\ / : , ; * ? ＂ < > |", forms::vbCritical,
                          kCreateTitle);
            return false;
        }
    }
    return true;
}

void frmGetFolder::cmdCreate_Click() {
    try {
        const std::string base = withSeparator(folder_);
        std::string name = proposal_.empty() ? std::string("新しいフォルダ") : proposal_;
        if (gfnfFolderExists(base + name)) {
            const std::string stem = name;
            for (int n = 2; gfnfFolderExists(base + name); ++n) name = stem + " (" + std::to_string(n) + ")";
        }
        for (;;) {
            std::string answer = forms::InputBox("フォルダ名を入力してください。", kCreateTitle, name);
            if (answer.empty()) return;
            proposal_ = name = answer;
            if (!validName(answer)) continue;
            if (text::toCp932(base + answer).size() > 240) {
                forms::MsgBox("フォルダ名が長すぎます。", forms::vbCritical, kCreateTitle);
                continue;
            }
            if (!gfnfFolderExists(base + answer)) {
                std::filesystem::create_directory(base + answer);
                setFolder(base + answer);
                return;
            }
            forms::MsgBox(base + answer + "\r\nは既に存在します。", forms::vbCritical, kCreateTitle);
        }
    } catch (const std::exception& e) {
        const runtime::Error* error = dynamic_cast<const runtime::Error*>(&e);
        const long number = error ? error->number() : 75;  // path/file access error
        if (error)
            gsbErrorMsg(*error, false);
        else
            gsbErrorMsg("", false);
        forms::MsgBox("フォルダの作成に失敗しました。(" + std::to_string(number) + ")", forms::vbCritical,
                      windowTitle().toStdString());
    }
}

void frmGetFolder::clearSummary() {
    sstMessage_->setUpdatesEnabled(false);
    sstMessage_->hide();
    for (int row = 0; row < 12; ++row) {
        for (int col = 0; col < 4; ++col) {
            auto* cell = new QTableWidgetItem;
            cell->setBackground(kCellColour);
            sstMessage_->setItem(row, col, cell);
        }
        const int ch = row + 1;
        sstMessage_->item(row, 0)->setText(QString::fromStdString(gfnsGetChannelStr(ch, false)));
        if (ch >= 10) sstMessage_->item(row, 1)->setText(QString::fromStdString(gfnsGetChannelStr(ch, true)));
    }
    sstMessage_->setColumnHidden(3, gintLogMode == vbFalse);
    sstMessage_->show();
    lblCardName_->clear();
    lblTotalTime_->setText("--:--");
    lblCardError_->show();
}

// Card name and message names from the name list (Shift-JIS); the last line of a channel wins.
void frmGetFolder::readNameList(const std::string& file, bool& found) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return;
    found = true;
    std::string raw;
    while (std::getline(in, raw)) {
        if (!raw.empty() && raw.back() == '\r') raw.pop_back();
        const std::string line = text::fromCp932(raw);
        if (line.rfind("カード名", 0) == 0) {  // a message name may contain the word
            lblCardName_->setText(QString::fromStdString(afterColon(line)));
        } else if (line.find("メッセージ名") != std::string::npos) {
            const int ch = leadingNumber(line);
            if (ch >= 1 && ch <= 12) sstMessage_->item(ch - 1, 1)->setText(QString::fromStdString(afterColon(line)));
        }
    }
}

void frmGetFolder::showSummary() {
    setBusy(false);
    clearSummary();
    if (gfnfFolderExists(folder_)) {
        const std::string prefix = withSeparator(folder_) + "Msg";
        bool found = false;
        readNameList(prefix + ".txt", found);
        std::int64_t total = 0;
        for (int ch = 1; ch <= 12; ++ch) {
            char suffix[24];
            std::snprintf(suffix, sizeof suffix, "_%02d.wav", ch);
            const std::int32_t bytes = length_.checkWaveFile ? length_.checkWaveFile(prefix + suffix) : 0;
            std::int32_t ms = 0;
            if (bytes > 0) {
                ms = length_.byteToTime ? length_.byteToTime(bytes) : -1;
                found = true;
                total += ms;
            }
            sstMessage_->item(ch - 1, 2)->setText(QString::fromStdString(gfnsMsecToStr(ms, false)));
            sstMessage_->item(ch - 1, 3)->setText(QString::number(ms));
        }
        lblTotalTime_->setText(QString::fromStdString(wizard::setLengthText(total)));
        if (found) lblCardError_->hide();
    }
    sstMessage_->setUpdatesEnabled(true);
    setBusy(true);
    cmdOK_->setFocus();
}

void frmGetFolder::setBusy(bool on) {
    setEnabled(false);
    if (!on) forms::setScreenPointer(forms::vbHourglass);
    QWidget* main = wizard::hostWindow();
    if (main) main->setEnabled(false);
    for (QWidget* w : {static_cast<QWidget*>(cmdOK_), static_cast<QWidget*>(cmdCancel_),
                       static_cast<QWidget*>(drvFolder_), static_cast<QWidget*>(cmdCreate_),
                       static_cast<QWidget*>(dirFolder_), static_cast<QWidget*>(fleFolder_),
                       static_cast<QWidget*>(fraFolder_)})
        w->setEnabled(on);
    if (on) forms::setScreenPointer(forms::vbDefault);
    setEnabled(on);
    if (main) main->setEnabled(on);
    forms::doEvents();
}
