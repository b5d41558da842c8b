#pragma once

#include <filesystem>
#include <memory>

#include <QApplication>
#include <QLibraryInfo>
#include <QString>

namespace hvn::console {

class TAboutBox;
class TMainForm;
class TdlgSection;
class TdlgSectionMember;
class TfrmDelete;
class TfrmPrinterSet;
class TqrForm;

// The console's application object. An exception that escapes an event handler is shown by
// the general error display, and the event loop goes on. GUI thread only.
class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

// Sets the application title "hvnConsole" and the program icon as every window's icon, maps
// the Japanese system font names to the IPA Gothic fonts, makes "ＭＳ Ｐゴシック" 9 pt the
// default font and installs Qt's Japanese translation (installQtTranslation). Call once the
// application object exists.
void setUpApplication();

// Installs Qt's own Japanese texts (context menus, standard buttons, the print and file
// dialogs) from qtbase_ja in `directory`, by default Qt's translations folder, whatever the
// user's locale, since every other text of the console is Japanese. Returns false when that
// file is missing or unreadable; the texts then stay as they were (Qt's English ones unless an
// earlier call succeeded). A successful call replaces the earlier translation.
bool installQtTranslation(const QString &directory = QLibraryInfo::path(QLibraryInfo::TranslationsPath));

// Every window of the run, created once in the order the console creates them and destroyed
// in reverse, so the main window (which saves the settings) goes last. The main window is
// given the dialogs its menu shows. The rename window OKBottomDlg is made by the printer groups
// dialog, its only user, with it. GUI thread only.
class ConsoleWindows {
public:
    ConsoleWindows();
    ~ConsoleWindows();
    ConsoleWindows(const ConsoleWindows &) = delete;
    ConsoleWindows &operator=(const ConsoleWindows &) = delete;

    TMainForm &mainForm() const { return *m_mainForm; }

private:
    std::unique_ptr<TMainForm> m_mainForm;
    std::unique_ptr<TqrForm> m_qrForm;
    std::unique_ptr<TfrmDelete> m_frmDelete;
    std::unique_ptr<TfrmPrinterSet> m_frmPrinterSet;
    std::unique_ptr<TdlgSection> m_dlgSection;
    std::unique_ptr<TdlgSectionMember> m_dlgSectionMember;
    std::unique_ptr<TAboutBox> m_aboutBox;
};

// The whole program: the single-instance guard "hvnConsole" (a second instance shows
// "hvnConsole already Start up" and returns 1), the windows, the event loop until the main
// window closes. Returns 0 after a normal close, 1 when the start failed (the reason has been
// shown in a message box). The guard is InstanceGuard::defaultLockFile("hvnConsole").
int runConsole(int argc, char **argv);
// The same program guarded by another lock file (tests keep theirs apart from a real
// installation's).
int runConsole(int argc, char **argv, const std::filesystem::path &guardFile);

} // namespace hvn::console
