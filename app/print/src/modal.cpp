#include "print/modal.h"

#include <QDialog>
#include <utility>

namespace print {
namespace {
ModalRunner& runner() {
    static ModalRunner r;
    return r;
}
}  // namespace

void setModalRunner(ModalRunner r) { runner() = std::move(r); }

void showModal(QDialog& window) {
    if (runner())
        runner()(window);
    else
        window.exec();
}

}  // namespace print
