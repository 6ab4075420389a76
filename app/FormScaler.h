#pragma once
// The main window's zoom: lays the window and every control on it out at a
// chosen density, always from their design values (sizes at 96 pixels per
// inch), so that zooming back returns everything to its design size exactly
// instead of drifting by rounding at every step.
//
// Qt already multiplies logical pixels by the screen's device pixel ratio,
// so a density of `ppi` means ppi / (96 * devicePixelRatio) logical pixels
// per design pixel; the window starts at the screen's own density (96 times
// the ratio), where that factor is 1.

#include <QObject>
#include <QSizeF>

class QWidget;
class TForm1;

// The density the zoom list's entry at `position` stands for ("100%" to
// "200%": 96 pixels per inch times the percentage, whatever the screen's
// own density); 0 for any other position.
int ZoomEntryPPI(int position);
// The position of the zoom list's entry for `ppi`; 0 ("100%") when none is.
int ZoomEntryFor(int ppi);

class TFormScaler : public QObject {
public:
    explicit TFormScaler(TForm1& form);

    int PixelsPerInch() const;
    // Logical pixels per design pixel.
    double Factor() const { return m_factor; }

    // Nothing happens when `ppi` is the current density. Otherwise every
    // control of the window (those created later by anyone included) gets
    // its design position, size, fixed height or width, icon size and font
    // times the new factor, and so do the window's own pieces: the side
    // tabs' width, the splitter's handle and the window's client size. A
    // size the user gave (window size, side tabs' width) counts as a design
    // size divided by the factor it was given at; the window's size counts
    // as given when it is not the one the last zoom made. With
    // keepWindowSize the window keeps its size (it was measured at that
    // density already), as does a maximized or full-screen window. A zoom
    // past the screen's own density grows the window only as far as its
    // screen leaves room for it, frame included, and brings a shown window
    // back onto the screen; the design size stays remembered, so a smaller
    // zoom gives the window its own size again.
    void Scale(int ppi, bool keepWindowSize = false);

    // Sets every control's zoomed font again. Taking a style sheet away
    // gives each control back the font it had when the sheet came, so a
    // style change made while zoomed would otherwise lose the zoom's fonts.
    void ReapplyFonts();

    // Gives the style in force the zoom: the window's zoom factor for what
    // the style draws at fixed sizes, and the style's sheet with its pixel
    // sizes multiplied. Called at every zoom and style change.
    void ApplyStyleZoom();

    // Widens a button, check box or label whose caption is wider than the
    // room its style leaves for it (a face wider than the one the design was
    // measured with, a style's paddings, fonts that grow unevenly with the
    // zoom), keeping its left edge, as far as its parent's width allows.
    // Every such control first returns to its design size at the zoom, so
    // a caption that fits again gives the room back. Each side tab's page
    // then asks for the room its controls take, scrolling where it has less.
    // Called once the window is made and at every zoom and style change.
    void FitCaptions();

private:
    void Record(QWidget* w);
    void ApplyFonts(QWidget* w);
    void ApplyGeometry(QWidget* w);
    // Gives each side tab's page the minimum size that holds its controls.
    void FitPages();
    // `client` made no larger than the window's screen leaves room for.
    QSize FittedToScreen(QSize client) const;
    // Moves a shown window whose frame reaches past its screen's room back
    // inside it, as far as it fits.
    void KeepOnScreen();

    // The screen's own density; the window's until the first zoom.
    int ScreenPPI() const;

    TForm1& m_form;
    int m_ppi = 0;      // from the first zoom on
    double m_dpr = 1.0; // the device pixel ratio the zoom was made at
    double m_factor = 1.0;
    QSizeF m_designClient;
    QSize m_appliedClient; // the window size the last zoom gave
    double m_designSide;
    bool m_scaled = false;
};
