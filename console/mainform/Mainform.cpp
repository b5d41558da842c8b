#include "mainform/Mainform.h"

#include <QFrame>
#include <QPushButton>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include "Connection.h"
#include "data/DbGridModel.h"
#include "mainform/RecordLoad.h"

namespace hvn::console {

namespace {

constexpr int kToolBarHeight = 33;

QFrame *makeBevel(QWidget *parent, const char *name)
{
    auto *bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

} // namespace

TMainForm::TMainForm(QWidget *parent)
    : QMainWindow(parent)
    , DBConection(std::string(db::kConsoleConnectionString))
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("Halvane server console"));
    DBConection.setBeforeConnect([this] { DBConectionBeforeConnect(); });

    auto *central = new QWidget(this);
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    Bevel1 = makeBevel(central, "Bevel1");
    layout->addWidget(Bevel1);
    ToolBar1 = new QWidget(central);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(kToolBarHeight);
    layout->addWidget(ToolBar1);
    Bevel2 = makeBevel(central, "Bevel2");
    layout->addWidget(Bevel2);
    PageControl1 = new QTabWidget(central);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    layout->addWidget(PageControl1, 1);
    setCentralWidget(central);

    StatusLine = new QStatusBar(this);
    StatusLine->setObjectName(QStringLiteral("StatusLine"));
    setStatusBar(StatusLine);

    buildToolBar();
    buildPageControl();
    buildMenus();

    FormCreate();
}

TMainForm::~TMainForm()
{
    // A load still running ends first: it reads through the models and queries below.
    endRecordLoad();
    saveSettings();
    // The grids and their models go before the queries they read, which are members; the
    // page control's teardown must not reach the tab handlers.
    m_tabsLive = false;
    m_tabBar->removeEventFilter(this);
    PageControl1->removeEventFilter(this);
    disconnect(PageControl1, nullptr, this, nullptr);
    delete PageControl1;
    PageControl1 = nullptr;
    for (TDbGridModel *model : {m_reciveModel, m_userModel, m_printerModel, m_computerModel, m_sectionModel})
        delete model;
}

void TMainForm::buildToolBar()
{
    pnlDay = new QFrame(ToolBar1);
    pnlDay->setObjectName(QStringLiteral("pnlDay"));
    pnlDay->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pnlDay->setGeometry(0, 4, 713, 25);
    buildPeriodControls();
    buildSectionLevelControls();

    Button2 = new QPushButton(QStringLiteral("再読込み"), pnlDay);
    Button2->setObjectName(QStringLiteral("Button2"));
    Button2->setGeometry(392, 2, 60, 20);
    connect(Button2, &QPushButton::clicked, this, &TMainForm::Button2Click);
}

void TMainForm::buildPageControl()
{
    PageControl1->tabBar()->setExpanding(false);
    buildStatisticsTabs();
    buildSectionTab();
    buildFiscalYearTabs();

    m_tabBar = PageControl1->tabBar();
    m_tabBar->installEventFilter(this);
    PageControl1->installEventFilter(this);
    connect(PageControl1, &QTabWidget::currentChanged, this, &TMainForm::PageControl1Change);
}

} // namespace hvn::console
