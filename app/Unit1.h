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

class QCheckBox;
class QLabel;
class QSplitter;
class QToolButton;
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

    // Line tab: the XY swap.
    QLabel* Label1;
    TToggleSwitch* ToggleSwitch1;
    // Scale tab: automatic magnification.
    QCheckBox* AutoSize;

    TFileOpenDialog* FileOpenDialog1;
    TSavePictureDialog* SavePictureDialog1;
    TOpenPictureDialog* OpenPictureDialog1;
    TFontDialog* FontDialog1;
    TColorDialog* ColorDialog1;
    TImageList* ImageList1;
    TExIniFile* IniFile;

    const FormServices& Services() const { return m_services; }

public slots:
    void FormCreate(QObject* Sender);
    void FormClose(QObject* Sender);

    void BtnOpenClick(QObject* Sender);
    void BtnPasteClick(QObject* Sender);
    void CopyEMFClick(QObject* Sender);
    void SaveEMFClick(QObject* Sender);
    void CopyBMPClick(QObject* Sender);
    void SaveBMPClick(QObject* Sender);
    void ToggleSwitch1Click(QObject* Sender);

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
    void CreatePages();
    // Connects a signal to a handler that runs under the default error
    // reporting.
    template <class Sender, class Signal>
    void Bind(Sender* sender, Signal signal, void (TForm1::*handler)(QObject*));

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
};

// The one main window of the running program.
extern TForm1* Form1;
