#include "about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QStyle>
#include <QVBoxLayout>

namespace control {

AboutDialog::AboutDialog(const AboutTexts& texts, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromUtf8("ﾊﾞｰｼﾞｮﾝ情報"));
    setFont(QFont(QString::fromUtf8("ＭＳ Ｐゴシック"), 9));
    auto* icon = new QLabel;
    icon->setPixmap(style()->standardIcon(QStyle::SP_DriveFDIcon).pixmap(32, 32));
    auto* lines = new QVBoxLayout;
    lines->addWidget(new QLabel(QString::fromStdString(texts.myName)));
    lines->addWidget(new QLabel(QString::fromStdString("Version " + texts.myVersion)));
    lines->addWidget(new QLabel(
        QString::fromStdString("USB Driver " + texts.driverName + "  Version " + texts.driverVersion)));
    lines->addWidget(new QLabel(QString::fromUtf8("RDX-700 カードリーダライタ")));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(lines, 1);
    top->addWidget(buttons, 0, Qt::AlignTop);
    setLayout(top);
}

}  // namespace control
