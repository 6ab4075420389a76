#pragma once
// Creates or replaces a whole file so that a failure never leaves half of it
// behind: the bytes go to a temporary file beside the target, written
// unbuffered so that every failing write is seen where it happens (a full
// disk, a file-size limit), flushed, and renamed over the target only when
// complete. On any failure the temporary file is removed and the old file
// stays as it was.
//
// Refused before anything is written: an empty path, a folder, and an
// existing file that may not be written (a file the user made read-only is
// not silently replaced).
//
// Errors: EFCreateError "ファイル "path" を作成できません。reason", the reason
// being the system's description of the cause.

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

void WriteWholeFile(const QString& path, const QByteArray& bytes);

namespace safe_write {
// The steps of a whole-file write.
enum class Step { Open, Write, Flush, Commit };
// Makes writes fail as a failing disk would: before each step the fault is
// asked, and an error number it returns makes that step fail with that
// error (a failed write has written half of the bytes). An empty fault
// restores normal writing. For tests.
using Fault = std::function<std::optional<int>(Step)>;
void SetFault(Fault fault);
} // namespace safe_write
