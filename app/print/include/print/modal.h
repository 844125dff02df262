#pragma once
// How the print windows are shown modally. The program runs the window's own event loop;
// tests install a runner that drives the window and returns, so nothing waits on a user.
#include <functional>

class QDialog;

namespace print {

using ModalRunner = std::function<void(QDialog& window)>;

// Installs the runner; an empty one restores the window's own modal loop.
void setModalRunner(ModalRunner runner);
// Shows the window modally and returns when it is closed (or the runner returns).
void showModal(QDialog& window);

}  // namespace print
