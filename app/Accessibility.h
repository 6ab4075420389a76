#pragma once
// What assistive tools (screen readers, UI test tools) are told about the
// main window's own controls where Qt's generic answer would be wrong: the
// window itself, the side tabs, the tool bar and its separators, the status
// bar and the chart.

// Registers the interfaces with Qt's accessibility layer; once per program,
// later calls do nothing.
void InstallAccessibility();
