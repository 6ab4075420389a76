#pragma once
// A paint device that records what is painted on it as an enhanced metafile
// (EMF), byte for byte as Windows stores one: vector records for shapes,
// text records for text, DIB records for images. Paint on it with a
// QPainter; once the painter has ended, Data() is the complete file.
//
// Small shapes (markers) drawn again at a device pixel where the same shape
// was just drawn are written once, so the file grows with the picture's
// area, not with the number of points drawn. Each new painter on the device
// starts a new file.

#include <QByteArray>
#include <QPaintDevice>
#include <QSize>

#include <memory>

class EmfPaintEngine;

class EmfDevice : public QPaintDevice {
public:
    // A metafile `size` pixels large, drawn for a reference screen of `dpi`
    // pixels per inch (the frame is derived from both, at least 1 x 1).
    explicit EmfDevice(const QSize& size, int dpi = 96);
    ~EmfDevice() override;

    QPaintEngine* paintEngine() const override;
    QSize Size() const { return m_size; }
    int Dpi() const { return m_dpi; }
    // The finished file; empty while a painter is still active.
    QByteArray Data() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    QSize m_size;
    int m_dpi;
    mutable std::unique_ptr<EmfPaintEngine> m_engine;
};
