#include "shell/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QPointer>
#include <QTranslator>

namespace shell {

bool installQtTranslations() {
    static QPointer<QTranslator> installed;
    if (installed) return true;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    auto* translator = new QTranslator(app);
    // The program speaks Japanese whatever the desktop's locale is.
    if (!translator->load("qtbase_ja", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    QCoreApplication::installTranslator(translator);
    installed = translator;
    return true;
}

}  // namespace shell
