#include "EmfDevice.h"

// Placeholder until the writer lands: a device nothing can be painted on.
class EmfPaintEngine {};

EmfDevice::EmfDevice(const QSize& size, int dpi) : m_size(size), m_dpi(dpi) {}
EmfDevice::~EmfDevice() = default;
QPaintEngine* EmfDevice::paintEngine() const { return nullptr; }
QByteArray EmfDevice::Data() const { return {}; }
int EmfDevice::metric(PaintDeviceMetric metric) const { return QPaintDevice::metric(metric); }
