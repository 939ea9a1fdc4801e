// Qt's own texts in the dialogs the program opens are Japanese like the program's.

#include "app/qt_translations.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>

#include <gtest/gtest.h>

namespace {

TEST(QtTranslations, TheFolderChooserSpeaksJapanese) {
    ASSERT_TRUE(app::installQtJapaneseTexts(*QCoreApplication::instance()));
    QFileDialog chooser(nullptr, QStringLiteral("DBバックアップファイル保存先フォルダを選択"));
    chooser.setOption(QFileDialog::DontUseNativeDialog);
    chooser.setFileMode(QFileDialog::Directory);
    const auto* lookIn = chooser.findChild<QLabel*>(QStringLiteral("lookInLabel"));
    ASSERT_NE(lookIn, nullptr);
    EXPECT_EQ(lookIn->text(), QStringLiteral("アドレス:")); // "Look in:"
}

} // namespace
