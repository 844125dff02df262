#pragma once
// Qt's own Japanese texts, so that the standard dialogs (message-box buttons, the open,
// save and folder dialogs) speak the language of the rest of the program.

namespace shell {

// Loads Qt's Japanese translations into the application once; later calls do nothing.
// Returns whether they are in place (the translation files may be missing).
bool installQtTranslations();

}  // namespace shell
