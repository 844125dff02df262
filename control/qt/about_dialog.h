#pragma once
// The control's about dialog: its icon, product name and version, and the pipe driver's.
#include <QDialog>

#include "control/face.h"

namespace control {

class AboutDialog : public QDialog {
public:
    explicit AboutDialog(const AboutTexts& texts, QWidget* parent = nullptr);
};

}  // namespace control
