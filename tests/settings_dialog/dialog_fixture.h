#pragma once
// A settings dialog over a temporary program folder: the settings files are written as fixtures,
// the server's database list is a plain vector, and every message lands in a recording sink.

#include "core/context.h"
#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/local_filesystem.h"
#include "settings_dialog/config_dialog.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QTest>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace dialogtest {

using settings_dialog::Frm_EnCrt_ScheduleBackup_Config;

// Records like the shared sink, and lets a test look at the dialog at the moment of each message.
class DialogSink : public testsupport::RecordingSink {
public:
    std::function<void()> onLine;

protected:
    void writeLine(const std::string& line) override {
        if (onLine)
            onLine();
        RecordingSink::writeLine(line);
    }
};

struct DialogFixture {
    testsupport::TempDir dir;
    DialogSink ui;
    platform::ManualClock clock{platform::makeLocalTime(2026, 12, 3, 10, 0)};
    const platform::LocalFileSystem files;
    core::ProgramContext ctx{clock, ui, files, dir.path()};
    core::DbSession session; // the opener's
    std::vector<std::string> server{"SABRELUND", "SALES", "TEST"};
    bool serverReachable = true;

    DialogFixture() {
        for (const char* sub : {"backup", "ext", "product", "docs"})
            std::filesystem::create_directories(dir / sub);
        writeZuzor("[ENCNT]\r\nMAILSRLOGTERM=120\r\n[SABRELUND]\r\nPATH=" + path("product") +
                   "\r\n[GIJYUTU]\r\nPATH=" + path("docs") + "\r\n");
        testsupport::writeFile(dir / "product" / "DEDoda.ini",
                               "[keymanage]\r\nKeyRoot=" + path("product") + "/KEYMANAGE \r\n");
    }

    std::string path(const char* sub) const { return (dir / sub).string(); }

    // A complete, valid settings file; `schedule` and `copy` replace the bodies of [Schedule]
    // and [FILE_COPY] when given.
    std::string validIni(std::string schedule = {}, std::string copy = {}) const {
        if (schedule.empty())
            schedule =
                "Db=SABRELUND\tSALES\r\nPath=" + path("backup") + "\r\nLocalPreserveTerm=30\r\nTEMPLOGTERM=100\r\n";
        if (copy.empty())
            copy = "EXECUTE=1\r\nDBBACKUPFILE_DIR=" + path("ext") + "\r\nKEYFILE_DIR=" + path("ext") +
                   "\r\nGIJYUTUFILE_DIR=" + path("ext") + "\r\nOutSidePreserveTerm=60\r\n";
        return "; settings of the scheduled backup\r\n[Schedule]\r\n" + schedule +
               "Iniflg=1\r\n[ScheduleAll]\r\nDay=65\r\nTime=02:30\r\n[ScheduleDiff]\r\nDay=NON\r\nTime=NON\r\n"
               "[ScheduleLOG]\r\nDay=16\r\nTime=11:00\r\n[FILE_COPY]\r\n" +
               copy + "[(local)]\r\nUSER_NAME=sa\r\n";
    }
    void writeIni(const std::string& utf8) const {
        testsupport::writeFile(dir / "MSDE_DBTOOL.INI", platform::toCp932(utf8));
    }
    void writeZuzor(const std::string& utf8) const {
        testsupport::writeFile(dir / "ZUZOR.INI", platform::toCp932(utf8));
    }
    std::string ini() const { return platform::fromCp932(testsupport::readFile(dir / "MSDE_DBTOOL.INI")); }
    std::string zuzor() const { return platform::fromCp932(testsupport::readFile(dir / "ZUZOR.INI")); }

    std::unique_ptr<Frm_EnCrt_ScheduleBackup_Config> openValid() {
        writeIni(validIni());
        return open();
    }

    std::unique_ptr<Frm_EnCrt_ScheduleBackup_Config> open() {
        auto loader = [this](core::ProgramContext&, core::DbSession& s) {
            if (!serverReachable)
                return false;
            s.serverDatabases = server;
            return true;
        };
        auto dialog = std::make_unique<Frm_EnCrt_ScheduleBackup_Config>(ctx, session, loader);
        dialog->show();
        return dialog;
    }
};

template <class W> W* find(const QWidget& dialog, const char* name) {
    W* w = dialog.findChild<W*>(QLatin1String(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

inline QString u(const char* utf8) {
    return QString::fromUtf8(utf8);
}

inline QString text(const QWidget& dialog, const char* name) {
    return find<QLineEdit>(dialog, name)->text();
}

inline void setText(const QWidget& dialog, const char* name, const QString& text) {
    find<QLineEdit>(dialog, name)->setText(text);
}

inline void click(const QWidget& dialog, const char* name) {
    QTest::mouseClick(find<QAbstractButton>(dialog, name), Qt::LeftButton);
}

// One Qt Test data row per entry of a table, named after it; the test reads its entry by index.
template <class Row, std::size_t N> void addRows(const Row (&rows)[N]) {
    QTest::addColumn<int>("row");
    for (std::size_t i = 0; i < N; ++i)
        QTest::newRow(rows[i].name) << int(i);
}

} // namespace dialogtest
