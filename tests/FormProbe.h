#pragma once
// Reads and drives the main window's private data state in tests.

#include "LineList.h"
#include "Unit1.h"

class TForm1Probe {
public:
    explicit TForm1Probe(TForm1& form) : f(form) {}
    LineList& DataList() { return *f.DataList; }
    double& xmag() { return f.xmag; }
    double& ymag() { return f.ymag; }
    QString xtani() const { return f.xtani; }
    QString ytani() const { return f.ytani; }
    const QList<double>& xdata() const { return f.xdata; }
    const QList<double>& ydata() const { return f.ydata; }
    double& aresult() { return f.aresult; }
    double& bresult() { return f.bresult; }
    QString xname() const { return f.xname; }
    QString yname() const { return f.yname; }
    void PlotData() { f.PlotData(); }
    void CalcMagnification(double& mag, QString& tani, double value) { f.CalcMagnification(mag, tani, value); }

private:
    TForm1& f;
};
