#include "EmfDevice.h"

#include "EmfPaintEngine_p.h"

#include <cmath>
#include <limits>

EmfDevice::EmfDevice(const QSize& size, int dpi) : m_size(size.expandedTo(QSize(1, 1))), m_dpi(dpi > 0 ? dpi : 96) {}

EmfDevice::~EmfDevice() = default;

QPaintEngine* EmfDevice::paintEngine() const
{
    if (!m_engine)
        m_engine = std::make_unique<EmfPaintEngine>(*this);
    return m_engine.get();
}

QByteArray EmfDevice::Data() const
{
    if (!m_engine || m_engine->isActive())
        return {};
    return m_engine->Data();
}

int EmfDevice::metric(PaintDeviceMetric metric) const
{
    switch (metric) {
    case PdmWidth: return m_size.width();
    case PdmHeight: return m_size.height();
    case PdmWidthMM: return int(std::lround(m_size.width() * 25.4 / m_dpi));
    case PdmHeightMM: return int(std::lround(m_size.height() * 25.4 / m_dpi));
    case PdmNumColors: return std::numeric_limits<int>::max();
    case PdmDepth: return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY: return m_dpi;
    case PdmDevicePixelRatio: return 1;
    case PdmDevicePixelRatioScaled: return int(devicePixelRatioFScale());
    }
    return QPaintDevice::metric(metric);
}
