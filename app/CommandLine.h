#pragma once
// A table file named when the program starts (a path on the command line,
// or the file a desktop entry was opened with): loaded once the window is
// up, exactly as a file dropped on it.

#include <QString>
#include <QStringList>

class TForm1;

// The first argument after the program's own name that is not an option
// (Qt has already taken its own options out of the list); after "--" every
// argument counts. A file URL counts as its local path, a relative path as
// relative to the working folder. Empty when there is none.
QString TablePathArgument(const QStringList& arguments);

// Queues the load of `path` on the event loop, so it runs after the window
// has been shown: through the window's dropped-files handler, with a
// failure reported as a dropped file's is.
void LoadTableAtStart(TForm1& form, const QString& path);
