#pragma once

#include "store/ContactFile.h"

#include <memory>

class QTranslator;

namespace txl {
class OpeningAhead;
}

// The program's start-up after the application object exists, in the steps
// main takes (the tests and the benchmark take the same ones).
namespace startup {

// Qt's own dialogs in the user's language, the application's title, icon and
// style. The translator returned stays installed while it lives.
std::unique_ptr<QTranslator> setUpApplication();

// Creates the data module Dm; its connection takes over `ahead` (begun on
// the first line of main, may be null). False, having said why, when it
// cannot be made.
bool createDataModule(std::unique_ptr<txl::OpeningAhead> ahead);

// Opens the contacts file, asking for its owner's password through `ask`
// when the built-in one does not fit, then builds and shows the main window
// frm_Main. A file that stays shut is reported by the window's first open.
void showMainWindow(const ContactFile::PasswordPrompt &ask);

} // namespace startup
