#include "app/ConsoleApp.h"

#include <cstdio>
#include <memory>

#include <QEvent>
#include <QFont>
#include <QLocale>
#include <QTranslator>

#include "InstanceGuard.h"
#include "app/ErrorDisplay.h"
#include "app/MessageBoxes.h"
#include "app/ProgramIcon.h"
#include "mainform/Mainform.h"
#include "windows/Aboutbox.h"
#include "windows/Dlgsection.h"
#include "windows/Dlgsectionmember.h"
#include "windows/Frmdatadelete.h"
#include "windows/Frmprinterset.h"
#include "windows/Qreport.h"

namespace hvn::console {

namespace {

const QString kApplicationTitle = QStringLiteral("hvnConsole");
const QString kQtTranslatorName = QStringLiteral("hvnQtTranslator");

// Closing the main window ends the program, whatever other window is still open.
class QuitOnClose : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Close)
            QCoreApplication::quit();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

TApplication::TApplication(int &argc, char **argv)
    : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showCurrentException();
        return false;
    }
}

void setUpApplication()
{
    // The application title captions the program's own message boxes. It is not set as the
    // display name, which Qt would append to every window's caption.
    QApplication::setApplicationName(kApplicationTitle);
    // Lets desktops match the windows to the installed launcher entry hvnConsole.desktop.
    QGuiApplication::setDesktopFileName(kApplicationTitle);
    QApplication::setWindowIcon(programIcon());
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    // The windows are laid out in pixels for the Japanese desktop font.
    QApplication::setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
    installQtTranslation();
}

bool installQtTranslation(const QString &directory)
{
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"), directory))
        return false;
    // Owned by the application object, so it lives as long as the texts it translates; the
    // earlier one uninstalls itself as it is deleted.
    delete qApp->findChild<QTranslator *>(kQtTranslatorName, Qt::FindDirectChildrenOnly);
    translator->setObjectName(kQtTranslatorName);
    translator->setParent(qApp);
    return QCoreApplication::installTranslator(translator.release());
}

ConsoleWindows::ConsoleWindows()
    : m_mainForm(std::make_unique<TMainForm>())
    , m_qrForm(std::make_unique<TqrForm>())
    , m_frmDelete(std::make_unique<TfrmDelete>())
    , m_frmPrinterSet(std::make_unique<TfrmPrinterSet>())
    , m_dlgSection(std::make_unique<TdlgSection>())
    , m_dlgSectionMember(std::make_unique<TdlgSectionMember>())
    , m_aboutBox(std::make_unique<TAboutBox>())
{
    TMainForm::Dialogs dialogs;
    dialogs.dlgSection = m_dlgSection.get();
    dialogs.dlgSectionMember = m_dlgSectionMember.get();
    dialogs.frmPrinterSet = m_frmPrinterSet.get();
    dialogs.frmDelete = m_frmDelete.get();
    dialogs.AboutBox = m_aboutBox.get();
    dialogs.qrForm = m_qrForm.get();
    m_mainForm->setDialogs(dialogs);
}

ConsoleWindows::~ConsoleWindows()
{
    m_aboutBox.reset();
    m_dlgSectionMember.reset();
    m_dlgSection.reset();
    m_frmPrinterSet.reset();
    m_frmDelete.reset();
    m_qrForm.reset();
    m_mainForm.reset();
}

int runConsole(int argc, char **argv)
{
    return runConsole(argc, argv, platform::InstanceGuard::defaultLockFile(kApplicationTitle.toStdString()));
}

int runConsole(int argc, char **argv, const std::filesystem::path &guardFile)
{
    const platform::InstanceGuard guard(guardFile);
    TApplication app(argc, argv);
    setUpApplication();
    if (!guard.acquired()) {
        if (guard.state() == platform::InstanceGuard::State::Failed)
            std::fprintf(stderr, "hvnConsole: %s\n", guard.error().c_str());
        MessageBoxes::show({nullptr, QStringLiteral("error"), QStringLiteral("hvnConsole already Start up"),
                            QMessageBox::NoIcon, QMessageBox::Ok, QMessageBox::Ok});
        return 1;
    }

    try {
        ConsoleWindows windows;
        QuitOnClose quitOnClose;
        windows.mainForm().installEventFilter(&quitOnClose);
        windows.mainForm().show();
        TApplication::exec();
    } catch (...) {
        showCurrentException();
        return 1;
    }
    return 0;
}

} // namespace hvn::console
