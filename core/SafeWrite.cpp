#include "SafeWrite.h"

#include "Exceptions.h"

#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <utility>

namespace {

QString SystemMessage(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

[[noreturn]] void RaiseCreateError(const QString& path, const QString& reason)
{
    throw EFCreateError(QStringLiteral("ファイル \"%1\" を作成できません。%2").arg(path, reason));
}

safe_write::Fault& FaultHook()
{
    static safe_write::Fault fault;
    return fault;
}

// The error number the test fault gives this step, if any.
std::optional<int> InjectedFault(safe_write::Step step)
{
    const safe_write::Fault& fault = FaultHook();
    return fault ? fault(step) : std::nullopt;
}

} // namespace

void safe_write::SetFault(Fault fault)
{
    FaultHook() = std::move(fault);
}

void WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    using safe_write::Step;
    // Causes the safe-save machinery would word in its own terms are named
    // here the way the system names them.
    if (path.isEmpty())
        RaiseCreateError(path, SystemMessage(ENOENT));
    const QFileInfo info(path);
    if (info.isDir())
        RaiseCreateError(path, SystemMessage(EISDIR));
    if (info.exists() && !info.isWritable())
        RaiseCreateError(path, SystemMessage(EACCES));

    // Unbuffered: a buffered tail would only be written while committing,
    // which does not look at that write's outcome and would rename a
    // truncated file over the old one.
    QSaveFile file(path);
    if (const std::optional<int> err = InjectedFault(Step::Open))
        RaiseCreateError(path, SystemMessage(*err));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        RaiseCreateError(path, file.errorString());
    // Every failure from here on drops the temporary file: cancelWriting
    // makes the commit remove it instead of renaming it.
    const auto fail = [&](const QString& reason) {
        file.cancelWriting();
        file.commit();
        RaiseCreateError(path, reason);
    };
    if (const std::optional<int> err = InjectedFault(Step::Write)) {
        file.write(bytes.constData(), bytes.size() / 2);
        fail(SystemMessage(*err));
    }
    // A short write says nothing of why; the next one fails with the reason.
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
        if (n <= 0)
            fail(file.errorString());
        done += n;
    }
    if (const std::optional<int> err = InjectedFault(Step::Flush))
        fail(SystemMessage(*err));
    if (!file.flush())
        fail(file.errorString());
    if (const std::optional<int> err = InjectedFault(Step::Commit))
        fail(SystemMessage(*err)); // as a failed rename: the same way out
    if (!file.commit())
        RaiseCreateError(path, file.errorString());
}
