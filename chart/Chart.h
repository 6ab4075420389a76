#pragma once
// The chart control: shows a TChartModel and repaints whenever it changes.
// Screen readers hear the title as the control's name and the subtitle lines
// and axis names as its description.

#include "ChartExport.h"
#include "ChartModel.h"

#include <QImage>
#include <QWidget>

class TChartClipboard;
class QTimer;

class TChart : public QWidget {
    Q_OBJECT
public:
    explicit TChart(QWidget* parent = nullptr);

    TChartModel& Model() { return *m_model; }
    const TChartModel& Model() const { return *m_model; }

    // The chart's parts, as the program addresses them.
    TChartTitle& Title() { return m_model->Title(); }
    TChartTitle& SubTitle() { return m_model->SubTitle(); }
    TChartAxis& LeftAxis() { return m_model->LeftAxis(); }
    TChartAxis& BottomAxis() { return m_model->BottomAxis(); }
    TChartWalls& Walls() { return m_model->Walls(); }
    TChartBorder& Border() { return m_model->Border(); }
    TChartShadow& Shadow() { return m_model->Shadow(); }
    TColor Color() const { return m_model->Color(); }
    void SetColor(TColor c) { m_model->SetColor(c); }
    int SeriesCount() const { return m_model->SeriesCount(); }
    TChartSeries* Series(int i) const { return m_model->Series(i); }

    // The chart drawn over a `background` of the control's size.
    QImage RenderImage(const QColor& background) const;

    // What every export is drawn for: the control's size, its screen's
    // device pixels per pixel and resolution, and the window colour that
    // the control shows around the chart's panel.
    ChartCanvas Canvas() const;

    // The chart handed on to other programs: always the whole client
    // rectangle at its current size, drawn as on the screen, which is left
    // untouched. Bitmaps have the screen's colour depth; the file asks for
    // white behind the chart, the clipboard for the chart's Color (the
    // panel covers both, except the corners the shadow leaves free). Files
    // are created or replaced whole (EFCreateError when that fails); the
    // clipboard is given exactly one picture (EClipboardException when it
    // cannot be opened). The only metafile written is the enhanced one, so
    // `enhanced` makes no difference.
    void SaveToBitmapFile(const QString& path) const;
    void SaveToMetafileEnh(const QString& path) const;
    void CopyToClipboardBitmap(TChartClipboard& clipboard) const;
    void CopyToClipboardMetafile(bool enhanced, TChartClipboard& clipboard) const;
    // Bits per pixel of this chart's bitmaps: its screen's colour depth.
    // Bitmaps have the device pixels the screen shows (twice the width and
    // height on a screen that Qt scales by 2), and all pictures show the
    // window colour in the corners the shadow leaves free, as the screen
    // does. The copies offer more forms beside the one they are named
    // after: the metafile also as SVG (unless its metafile exceeds 1 MB:
    // a chart of very many scattered points), the bitmap also as PNG
    // (never a metafile).
    int BitmapBits() const;
    // The bitmap image over `background`, as the two bitmap exports make it.
    QImage ExportBitmap(const QColor& background) const;
    // The enhanced metafile's bytes, as the two metafile exports make them.
    QByteArray ExportMetafile() const;

    // What assistive technology is told, kept current on every change.
    QString AccessibleNameText() const;
    QString AccessibleDescriptionText() const;

signals:
    // The user asked for the chart's own menu: a right click, the Menu key
    // or Shift+F10. `globalPos` is where it goes on the screen.
    void MenuRequested(const QPoint& globalPos);

protected:
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void ModelChanged();

    TChartModel* m_model;
    // The picture last drawn, shown again as it is until the chart, the
    // control's size, resolution or window colour change: uncovering or
    // repainting a chart of ten million points costs no more than one of ten.
    QImage m_frame;
    bool m_frameValid = false;
    QColor m_frameWindow;
    // The last picture drawn in full, and its plot area. While the control
    // of a chart with a large series is being resized, its frames take the
    // plot area's contents from there, stretched, and the exact picture
    // follows once the size has stayed put for a moment (m_settle).
    QImage m_exact;
    QRect m_exactPlot;
    QTimer* m_settle;
};
