#pragma once
// The main window: tool bar, chart, side tabs and status bar, the data state
// of the current table, and every event handler of the program.

#include "FormServices.h"

#include <QList>
#include <QPixmap>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <memory>

class IMessageReporter;
class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QAction;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QToolButton;
class TButtonedEdit;
class TRadioGroup;
class TSpinEdit;
class LineList;
class TChart;
class TColorDialog;
class TExIniFile;
class TFileOpenDialog;
class TFontDialog;
class TLineSeries;
class TOpenPictureDialog;
class TPageControl;
class TPointSeries;
class TSaveFileDialog;
class TSavePictureDialog;
class TStatusBar;
class TToggleSwitch;

// A list of small pictures shared by several controls.
class TImageList : public QObject {
    Q_OBJECT
public:
    TImageList(QObject* owner, const QString& name, int width, int height);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return int(m_images.size()); }
    QPixmap Image(int i) const { return m_images.at(i); }
    void Add(const QPixmap& image) { m_images.append(image); }

private:
    int m_width, m_height;
    QList<QPixmap> m_images;
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    explicit TForm1(FormServices services = FormServices::Real(), QWidget* parent = nullptr);
    ~TForm1() override;

    // Components, named as their objectName.
    QWidget* ToolBar1;
    QToolButton* OpenBtn;
    QToolButton* PasteBtn;
    QWidget* ToolButton1;
    QToolButton* CopyEMFBtn;
    QToolButton* SaveEMFBtn;
    QWidget* ToolButton2;
    QToolButton* CopyBmpBtn;
    QToolButton* SaveBmpBtn;
    TStatusBar* StatusBar1;
    QSplitter* Splitter1;
    TPageControl* PageControl1;
    QWidget* TabSheet1;
    QWidget* TabSheet2;
    QWidget* TabSheet3;
    QWidget* TabSheet5;
    TChart* Chart1;
    TPointSeries* Series1;
    TLineSeries* Series2;

    // Chart tab (TabSheet1): titles, fonts, axis names, colours, picture,
    // border and shadow.
    TButtonedEdit* TitleEditBtn;
    QPushButton* TitleFontBtn;
    QPushButton* SuBTitleFontBtn;
    TRadioGroup* ChartTitleAlignment;
    TButtonedEdit* XAxisEdit;
    TButtonedEdit* YAxisEdit;
    QPushButton* AxisFont;
    QPushButton* ChartColorBtn;
    QPushButton* WallColorBtn;
    QPushButton* WallPictureBtn;
    QCheckBox* BorderCheck;
    QCheckBox* ChartShadow;

    // Line tab (TabSheet2): the two series' styles and the XY swap.
    QPushButton* SeriesColorBtn;
    TSpinEdit* SeriesSize;
    TRadioGroup* SeriesStyle;
    QCheckBox* LineVisibleCheck;
    QPushButton* MarkerColorBtn;
    TSpinEdit* MarkerSize;
    TRadioGroup* MarkerStyle;
    QLabel* Label1;
    TToggleSwitch* ToggleSwitch1;

    // Scale tab (TabSheet3): automatic or manual axes and magnifications.
    QCheckBox* AutoSize;
    TButtonedEdit* XMaxValue;
    TButtonedEdit* XMinValue;
    TButtonedEdit* XIncValue;
    TButtonedEdit* XmagValue;
    TButtonedEdit* YMaxValue;
    TButtonedEdit* YMinValue;
    TButtonedEdit* YIncValue;
    TButtonedEdit* YmagValue;

    // Usage tab (TabSheet5): visual style, zoom, version and usage notes.
    QFrame* Panel1;
    QComboBox* StyleSelecter;
    QLabel* Label3;
    QComboBox* ScaleComboBox;
    QLabel* Label2;
    QPlainTextEdit* Memo2;

    // The chart's own menu (right click, Menu key, Shift+F10): more forms
    // of the picture than the tool bar's, and the fit's numbers.
    QMenu* ChartMenu;
    QAction* SavePngAction;
    QAction* SaveSvgAction;
    QAction* SavePdfAction;
    QAction* CopyPngAction;
    QAction* CopyFitAction;

    TFileOpenDialog* FileOpenDialog1;
    TSavePictureDialog* SavePictureDialog1;
    // The chart menu's save dialog; it asks before replacing a file.
    TSaveFileDialog* SaveChartDialog;
    TOpenPictureDialog* OpenPictureDialog1;
    TFontDialog* FontDialog1;
    TColorDialog* ColorDialog1;
    TImageList* ImageList1;
    TExIniFile* IniFile;

    const FormServices& Services() const { return m_services; }

    // The window's density in pixels per inch; it starts at the screen's
    // own density (96 at design size on a screen without scaling).
    int PixelsPerInch() const;
    // Lays the window and all its controls out at NewPPI pixels per inch,
    // from their design sizes; nothing happens at the current density.
    void ScaleForPPI(int NewPPI);

public slots:
    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender);

    void BtnOpenClick(QObject* Sender);
    void BtnPasteClick(QObject* Sender);
    void CopyEMFClick(QObject* Sender);
    void SaveEMFClick(QObject* Sender);
    void CopyBMPClick(QObject* Sender);
    void SaveBMPClick(QObject* Sender);

    // The chart's menu.
    void SavePNGClick(QObject* Sender);
    void SaveSVGClick(QObject* Sender);
    void SavePDFClick(QObject* Sender);
    void CopyPNGClick(QObject* Sender);
    void CopyFitClick(QObject* Sender);

    // Chart tab.
    void TitleEditBtnButtonClick(QObject* Sender);
    void TitleFontBtnClick(QObject* Sender);
    void SuBTitleFontBtnClick(QObject* Sender);
    void ChartTitleAlignmentClick(QObject* Sender);
    void XAxisEditButtonClick(QObject* Sender);
    void YAxisEditButtonClick(QObject* Sender);
    void AxisFontClick(QObject* Sender);
    void ChartColorBtnClick(QObject* Sender);
    void WallColorBtnClick(QObject* Sender);
    void WallPictureBtnClick(QObject* Sender);
    void BorderCheckClick(QObject* Sender);
    void ChartShadowClick(QObject* Sender);

    // Line tab.
    void SeriesColorBtnClick(QObject* Sender);
    void SeriesSizeChange(QObject* Sender);
    void SeriesStyleClick(QObject* Sender);
    void LineVisibleCheckClick(QObject* Sender);
    void MarkerColorBtnClick(QObject* Sender);
    void MarkerSizeChange(QObject* Sender);
    void MarkerStyleClick(QObject* Sender);
    void ToggleSwitch1Click(QObject* Sender);

    // Scale tab.
    void AutoSizeClick(QObject* Sender);
    void XMaxValueButtonClick(QObject* Sender);
    void XMinValueButtonClick(QObject* Sender);
    void XIncValueButtonClick(QObject* Sender);
    void XmagValueButtonClick(QObject* Sender);
    void YMaxValueButtonClick(QObject* Sender);
    void YMinValueButtonClick(QObject* Sender);
    void YIncValueButtonClick(QObject* Sender);
    void YmagValueButtonClick(QObject* Sender);

    // Usage tab.
    void StyleSelecterChange(QObject* Sender);
    void ScaleComboBoxChange(QObject* Sender);

    // Files dropped on the window; only the first one is loaded.
    void WMDropFiles(const QStringList& paths);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    friend class TForm1Probe;

    void CreateComponents();
    void CreateToolBar();
    void CreateChartMenu();
    void ShowChartMenu(const QPoint& globalPos);
    // Asks for a file of `filter` and writes the chart's `bytes` to it.
    void SaveChartAs(const QString& filter, const QString& defaultExt,
                     QByteArray (*picture)(const TChartModel&, const ChartCanvas&));
    void CreatePages();
    // Each side tab's controls, created in the tab's own file.
    void CreateChartTab();
    void CreateLineTab();
    void CreateScaleTab();
    void CreateFormTab();
    // Connects a signal to a handler that runs under the default error
    // reporting.
    template <class Sender, class Signal>
    void Bind(Sender* sender, Signal signal, void (TForm1::*handler)(QObject*));
    // Runs a handler under the default error reporting.
    void RunHandler(void (TForm1::*handler)(QObject*), QObject* sender);

    void FillStyleList();
    void LoadSettings();
    void SaveSettings();
    void AcceptDroppedFiles();

    // Loads a table file into DataList and plots it, as the open button and
    // a dropped file do.
    void LoadFileAndPlot(const QString& path);
    void PlotData();
    void CalcMagnification(double& mag, QString& tani, double value);
    // The fit and its covariance live in the data layer (FitRegression,
    // Covariance); this adds the equation line to the subtitle.
    void CalcRegression();
    // Runs PlotData; a failure shows the error message box.
    void PlotDataReportingFailure();
    void ShowPlotErrorBox();

    FormServices m_services;
    class TFormScaler* m_scaler = nullptr; // the zoom; a child of the window
    bool m_dropsAccepted = false;
    bool m_closed = false;

    // The current table and what was computed from it.
    std::unique_ptr<LineList> DataList;
    double xmag = 1.0;
    double ymag = 1.0;
    QString xtani;
    QString ytani;
    QList<double> xdata;
    QList<double> ydata;
    double aresult = 0.0;
    double bresult = 0.0;
    QString xname;
    QString yname;
    // Where the last fit's line passes through the data (the two means):
    // its end points are taken from there.
    double m_lineMeanX = 0.0;
    double m_lineMeanY = 0.0;
    // The regression's first sums, taken by PlotData's pass over the columns.
    bool m_fitSumsKnown = false;
    // The chart shows a fitted line for xdata and ydata.
    bool m_fitShown = false;
    double m_fitSumX = 0.0;
    double m_fitSumY = 0.0;
};

template <class Sender, class Signal>
void TForm1::Bind(Sender* sender, Signal signal, void (TForm1::*handler)(QObject*))
{
    connect(sender, signal, this, [this, sender, handler] { RunHandler(handler, sender); });
}

// The one main window of the running program.
extern TForm1* Form1;
