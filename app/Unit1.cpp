#include "Unit1.h"

#include "Accessibility.h"
#include "Chart.h"
#include "Controls.h"
#include "Dialogs.h"
#include "ErrorReporting.h"
#include "Exceptions.h"
#include "ExIniFile.h"
#include "FormScaler.h"
#include "Icons.h"
#include "LineList.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFrame>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

TForm1* Form1 = nullptr;

namespace {

// Design sizes at 96 pixels per inch.
constexpr int kClientWidth = 936;
constexpr int kClientHeight = 593;
constexpr int kToolBarHeight = 47;
constexpr int kStatusBarHeight = 19;
constexpr int kPageControlWidth = 184;
constexpr int kSplitterWidth = 3;
constexpr int kButtonWidth = 34;
constexpr int kButtonHeight = 35;
constexpr int kSeparatorWidth = 8;

QFont FormFont()
{
    QFont f;
    f.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("DejaVu Sans")});
    f.setPointSize(8);
    return f;
}

} // namespace

TImageList::TImageList(QObject* owner, const QString& name, int width, int height)
    : QObject(owner), m_width(width), m_height(height)
{
    setObjectName(name);
}

TForm1::TForm1(FormServices services, QWidget* parent) : QWidget(parent), m_services(std::move(services))
{
    if (!m_services.dialogs || !m_services.messages || !m_services.clipboard) {
        const FormServices real = FormServices::Real();
        if (!m_services.dialogs)
            m_services.dialogs = real.dialogs;
        if (!m_services.messages)
            m_services.messages = real.messages;
        if (!m_services.clipboard)
            m_services.clipboard = real.clipboard;
    }
    Form1 = this;
    // Before any control exists, so each is met by its own interface.
    InstallAccessibility();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Plotmere"));
    setFont(FormFont());
    CreateComponents();
    resize(kClientWidth, kClientHeight);
    move(0, 0);
    // Every component is told that loading has finished: the settings
    // component resolves and reads its file now.
    RunReportingErrors(*m_services.messages, this, [this] { IniFile->Loaded(); });
    // An error escaping the creation handler is reported like any other and
    // start-up carries on with the window as far as it got.
    RunReportingErrors(*m_services.messages, this, [this] { FormCreate(this); });
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
    // The controls go after this window's own part: a signal they raise
    // while going (a field clamping its text as it loses the focus) must not
    // reach a handler of a window that is no longer there.
    for (QObject* child : findChildren<QObject*>())
        QObject::disconnect(child, nullptr, this, nullptr);
}

void TForm1::RunHandler(void (TForm1::*handler)(QObject*), QObject* sender)
{
    RunReportingErrors(*m_services.messages, this, [&] { (this->*handler)(sender); });
}

void TForm1::CreateComponents()
{
    // The dialogs and the image list come first: the side tabs preset the
    // dialogs. (The fields show the image list's check mark drawn afresh at
    // each zoom, from MakeCheckMarkIcon.)
    IDialogProvider* dialogs = m_services.dialogs.get();
    FileOpenDialog1 = new TFileOpenDialog(this, dialogs, QStringLiteral("FileOpenDialog1"));
    SavePictureDialog1 = new TSavePictureDialog(this, dialogs, QStringLiteral("SavePictureDialog1"));
    SaveChartDialog = new TSaveFileDialog(this, dialogs, QStringLiteral("SaveChartDialog"));
    OpenPictureDialog1 = new TOpenPictureDialog(this, dialogs, QStringLiteral("OpenPictureDialog1"));
    FontDialog1 = new TFontDialog(this, dialogs, QStringLiteral("FontDialog1"));
    ColorDialog1 = new TColorDialog(this, dialogs, QStringLiteral("ColorDialog1"));
    ImageList1 = new TImageList(this, QStringLiteral("ImageList1"), 16, 16);
    ImageList1->Add(MakeCheckMark(2.0));

    CreateToolBar();

    Splitter1 = new QSplitter(Qt::Horizontal, this);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setHandleWidth(kSplitterWidth);
    Splitter1->setChildrenCollapsible(false);

    Chart1 = new TChart(Splitter1);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Series1 = Chart1->Model().AddSeries<TPointSeries>(QStringLiteral("Series1"));
    Series2 = Chart1->Model().AddSeries<TLineSeries>(QStringLiteral("Series2"));
    CreateChartMenu();

    PageControl1 = new TPageControl(Splitter1);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    CreatePages();

    Splitter1->addWidget(Chart1);
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(0, 1);
    Splitter1->setStretchFactor(1, 0);
    Splitter1->setSizes({kClientWidth - kPageControlWidth - kSplitterWidth, kPageControlWidth});

    StatusBar1 = new TStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(kStatusBarHeight);
    SkippedLinesNotice = new QLabel(StatusBar1);
    SkippedLinesNotice->setObjectName(QStringLiteral("SkippedLinesNotice"));
    StatusBar1->addPermanentWidget(SkippedLinesNotice);
    SkippedLinesNotice->hide();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar1);
    layout->addWidget(Splitter1, 1);
    layout->addWidget(StatusBar1);

    IniFile = new TExIniFile(this);
    IniFile->setObjectName(QStringLiteral("IniFile"));
    IniFile->SetBaseDir(bdApplication);
    IniFile->SetFence(fcNone);
    IniFile->SetCaseSensitive(false);
    IniFile->SetAutoUpdate(true);
}

void TForm1::CreateToolBar()
{
    auto* toolBar = new TToolBar(this);
    ToolBar1 = toolBar;
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setFixedHeight(kToolBarHeight);
    ToolBar1->setAccessibleName(QStringLiteral("ツールバー"));

    const QColor ink = palette().color(QPalette::WindowText);
    int x = 0;
    auto addButton = [&](const char* name, ToolIcon icon, const QString& hint,
                         void (TForm1::*handler)(QObject*)) {
        auto* b = new QToolButton(ToolBar1);
        b->setObjectName(QString::fromLatin1(name));
        b->setIcon(MakeToolIcon(icon, ink));
        b->setIconSize(QSize(24, 24));
        b->setAutoRaise(true);
        toolBar->AddButton(b); // one tab stop for the bar, arrows between its buttons
        b->setToolTip(hint);
        b->setAccessibleName(hint);
        PlaceControl(b, x, 0, kButtonWidth, kButtonHeight);
        Bind(b, &QToolButton::clicked, handler);
        x += kButtonWidth;
        return b;
    };
    auto addSeparator = [&](const char* name) {
        auto* s = new QFrame(ToolBar1);
        s->setObjectName(QString::fromLatin1(name));
        s->setFrameShape(QFrame::VLine);
        s->setFrameShadow(QFrame::Sunken);
        PlaceControl(s, x, 4, kSeparatorWidth, kButtonHeight - 8);
        x += kSeparatorWidth;
        return s;
    };
    OpenBtn = addButton("OpenBtn", ToolIcon::OpenFolder, QStringLiteral("データを開く"), &TForm1::BtnOpenClick);
    PasteBtn = addButton("PasteBtn", ToolIcon::Paste, QStringLiteral("データー貼り付け"), &TForm1::BtnPasteClick);
    ToolButton1 = addSeparator("ToolButton1");
    CopyEMFBtn = addButton("CopyEMFBtn", ToolIcon::Copy, QStringLiteral("グラフをEMFでコピー"), &TForm1::CopyEMFClick);
    SaveEMFBtn = addButton("SaveEMFBtn", ToolIcon::Save, QStringLiteral("グラフをEMFで保存"), &TForm1::SaveEMFClick);
    ToolButton2 = addSeparator("ToolButton2");
    CopyBmpBtn = addButton("CopyBmpBtn", ToolIcon::Copy, QStringLiteral("グラフをBMPでコピー"), &TForm1::CopyBMPClick);
    SaveBmpBtn = addButton("SaveBmpBtn", ToolIcon::Save, QStringLiteral("グラフをBMPで保存"), &TForm1::SaveBMPClick);
}

void TForm1::CreatePages()
{
    TabSheet1 = PageControl1->AddPage(QStringLiteral("TabSheet1"), QStringLiteral("チャート"));
    TabSheet2 = PageControl1->AddPage(QStringLiteral("TabSheet2"), QStringLiteral("ライン"));
    TabSheet3 = PageControl1->AddPage(QStringLiteral("TabSheet3"), QStringLiteral("スケール"));
    TabSheet5 = PageControl1->AddPage(QStringLiteral("TabSheet5"), QStringLiteral("フォーム・使用例"));
    CreateChartTab();
    CreateLineTab();
    CreateScaleTab();
    CreateFormTab();
    // Tab leaves the usage notes like any other control instead of being
    // typed into them, so the keyboard is never caught in the last tab.
    Memo2->setTabChangesFocus(true);
    // Captions wider in this face than the design allowed get their room.
    m_scaler->FitCaptions();
}

// --- life cycle ----------------------------------------------------------

void TForm1::FormCreate(QObject*)
{
    DataList = std::make_unique<LineList>();
    xmag = 1.0;
    ymag = 1.0;
    FillStyleList();
    LoadSettings();
    AcceptDroppedFiles();
    PageControl1->SetTabIndex(0);
}

void TForm1::FormClose(QObject*)
{
    DataList.reset();
    SaveSettings();
}

void TForm1::closeEvent(QCloseEvent* event)
{
    if (!m_closed) {
        m_closed = true;
        // Closing completes even when saving the settings fails.
        RunReportingErrors(*m_services.messages, this, [&] { FormClose(this); });
    }
    event->accept();
}

void TForm1::AcceptDroppedFiles()
{
    setAcceptDrops(true);
    m_dropsAccepted = true;
    // Drags reach the control under the pointer first; watching them all
    // here also covers controls made later.
    qApp->installEventFilter(this);
}

// --- dropped files --------------------------------------------------------

namespace {
QStringList LocalPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile())
            paths << url.toLocalFile();
    return paths;
}
} // namespace

void TForm1::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_dropsAccepted && !LocalPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event)
{
    if (m_dropsAccepted && !LocalPaths(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

bool TForm1::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop)
        return QWidget::eventFilter(watched, event);
    if (!m_dropsAccepted || watched == this || !watched->isWidgetType()
        || static_cast<QWidget*>(watched)->window() != this)
        return QWidget::eventFilter(watched, event);
    // Both drag events derive from the drop event.
    auto* drag = static_cast<QDropEvent*>(event);
    if (LocalPaths(drag->mimeData()).isEmpty())
        return QWidget::eventFilter(watched, event);
    if (type == QEvent::Drop)
        dropEvent(drag);
    else
        drag->acceptProposedAction();
    return true;
}

void TForm1::dropEvent(QDropEvent* event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (paths.isEmpty())
        return;
    event->acceptProposedAction();
    // The dragging program waits until the drop is over; the load follows
    // as the next event, so a large table does not hold it up.
    QMetaObject::invokeMethod(
        this, [this, paths] { RunReportingErrors(*m_services.messages, this, [&] { WMDropFiles(paths); }); },
        Qt::QueuedConnection);
}
