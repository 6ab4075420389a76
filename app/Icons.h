#pragma once
// The tool bar's pictures (open folder, paste, copy, save) and the check mark
// of the entry fields, drawn as outlines in the manner of a line-icon font,
// so they stay crisp at any zoom.

#include <QColor>
#include <QIcon>
#include <QPixmap>

enum class ToolIcon { OpenFolder, Paste, Copy, Save };

QIcon MakeToolIcon(ToolIcon kind, const QColor& color);
// A green check mark on a transparent 16 x 16 background.
QPixmap MakeCheckMark(qreal devicePixelRatio = 1.0);
// The same mark as an icon drawn sharp at every size it is shown at.
QIcon MakeCheckMarkIcon();
