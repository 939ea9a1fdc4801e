#pragma once
// Qt's own texts (file chooser, text fields' context menu, standard buttons) in Japanese, like
// every text of the program, whatever the locale of the session.

class QCoreApplication;

namespace app {

// Installs Qt's Japanese catalogue into `app`; false when it is not installed on this machine
// (Qt's texts then stay English).
bool installQtJapaneseTexts(QCoreApplication& app);

} // namespace app
