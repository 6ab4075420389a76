// Drives the main window's export buttons as a user would, so that outside
// readers can open what they produce (tools/emf-check.sh,
// tools/clipboard-paste-check.sh). A table of random points along a line is
// dropped on the window, optionally restyled, and the two save buttons write
// OUT_DIR/chart.emf and OUT_DIR/chart.bmp through the save dialog's path.
//
//   export_snapshot OUT_DIR [plain|styled] [points=1000] [--hold emf|bmp] [--seconds N]
//                   [--only-types TYPE,TYPE...]
//
// With --hold the matching copy button then puts the chart on the system
// clipboard, "ready" is printed, and the program keeps serving the clipboard
// to other programs until it is ended (or N seconds have passed, 300 unless
// given). It needs a real display for that (DISPLAY, e.g. under Xvfb).
// --only-types withholds every other type of the metafile's, to find out
// which of them a reader takes.

#include "Chart.h"
#include "ErrorReporting.h"
#include "ExIniFile.h"
#include "FormServices.h"
#include "Unit1.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <cstdio>
#include <cstdlib>

namespace {

// Answers the save dialog with the next queued path; other dialogs cancel.
class AnsweringDialogs final : public IDialogProvider {
public:
    QStringList answers;
    bool ExecuteFileOpen(QWidget*, QString&) override { return false; }
    bool ExecuteSavePicture(QWidget*, const QString&, const QString&, QString& fileName) override
    {
        if (answers.isEmpty())
            return false;
        fileName = answers.takeFirst();
        return true;
    }
    bool ExecuteSaveFile(QWidget*, const QString&, const QString&, QString&) override { return false; }
    bool ExecuteOpenPicture(QWidget*, const QString&, QString&) override { return false; }
    bool ExecuteFont(QWidget*, FontChoice&) override { return false; }
    bool ExecuteColor(QWidget*, TColor&) override { return false; }
};

// Errors go to the terminal and fail the run.
class PrintingMessages final : public IMessageReporter {
public:
    int shown = 0;
    void ShowMessage(QWidget*, const QString& caption, const QString& text, MessageIcon) override
    {
        ++shown;
        std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    }
};

// The system clipboard, offering only some of the types it is given.
class FilteringClipboard final : public IClipboard {
public:
    FilteringClipboard(std::shared_ptr<IClipboard> inner, QStringList allowed)
        : m_inner(std::move(inner)), m_allowed(std::move(allowed))
    {
    }
    QString Text() override { return m_inner->Text(); }
    void SetText(const QString& text) override { m_inner->SetText(text); }
    void SetPicture(const ClipboardPicture& picture) override
    {
        ClipboardPicture kept{picture.image, {}};
        for (const auto& [types, bytes] : picture.forms) {
            QStringList allowed;
            for (const QString& t : types)
                if (m_allowed.contains(t))
                    allowed << t;
            if (!allowed.isEmpty())
                kept.forms.append({allowed, bytes});
        }
        m_inner->SetPicture(kept);
    }

private:
    std::shared_ptr<IClipboard> m_inner;
    QStringList m_allowed;
};

bool WriteTable(const QString& path, qsizetype n)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray text = "X,Y\n";
    QRandomGenerator rng(7);
    for (qsizetype i = 0; i < n; ++i) {
        const double x = rng.generateDouble() * 100.0;
        const double y = 0.8 * x + 5.0 + rng.generateDouble() * 30.0;
        text += QByteArray::number(x, 'g', 10) + ',' + QByteArray::number(y, 'g', 10) + '\n';
    }
    return file.write(text) == text.size();
}

void Style(TChart& chart)
{
    chart.BottomAxis().Title().SetCaption(QStringLiteral("時間 (s)"));
    chart.LeftAxis().Title().SetCaption(QStringLiteral("電圧 V"));
    chart.Shadow().SetVisible(true);
    chart.Border().SetVisible(true);
    chart.SetColor(0x00F0E8E0);
    chart.Walls().Back().SetTransparent(false);
    chart.Walls().Back().SetColor(0x00E0F0FF);
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(200 + x / 2, 220 - y, 240));
    chart.Walls().Back().Picture().SetImage(picture);
    chart.Title().Font().SetStyle(fsBold | fsItalic | fsUnderline);
    chart.Title().Font().SetSize(14);
    chart.Title().Font().SetColor(0x000000C0);
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    QString hold;
    QStringList onlyTypes;
    int seconds = 300;
    for (int i = 1; i < argc; ++i) {
        const QString a = QString::fromLocal8Bit(argv[i]);
        if (a == QLatin1String("--hold") && i + 1 < argc)
            hold = QString::fromLocal8Bit(argv[++i]);
        else if (a == QLatin1String("--only-types") && i + 1 < argc)
            onlyTypes = QString::fromLocal8Bit(argv[++i]).split(u',');
        else if (a == QLatin1String("--seconds") && i + 1 < argc)
            seconds = std::atoi(argv[++i]);
        else
            args << a;
    }
    if (args.isEmpty() || (!hold.isEmpty() && hold != QLatin1String("emf") && hold != QLatin1String("bmp"))) {
        std::fprintf(stderr, "usage: export_snapshot OUT_DIR [plain|styled] [points] [--hold emf|bmp] [--seconds N] "
                             "[--only-types TYPE,...]\n");
        return 2;
    }
    if (hold.isEmpty() && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TApplication app(argc, argv);
    // The window's settings go to a folder of their own, not beside this tool.
    QTemporaryDir settings;
    TExIniFile::SetApplicationPath(settings.filePath(QStringLiteral("plotmere")));

    const QDir out(args[0]);
    const bool styled = args.size() > 1 && args[1] == QLatin1String("styled");
    const qsizetype n = args.size() > 2 ? args[2].toLongLong() : 1000;
    if (!out.exists() || !WriteTable(out.filePath(QStringLiteral("table.csv")), n)) {
        std::fprintf(stderr, "cannot write into %s\n", qPrintable(args[0]));
        return 2;
    }

    auto dialogs = std::make_shared<AnsweringDialogs>();
    auto messages = std::make_shared<PrintingMessages>();
    FormServices services = FormServices::Real();
    services.dialogs = dialogs;
    services.messages = messages;
    if (!onlyTypes.isEmpty())
        services.clipboard = std::make_shared<FilteringClipboard>(services.clipboard, onlyTypes);
    TForm1 form(services);
    TApplication::SetErrorReporter(messages.get(), &form);
    form.show();
    QApplication::processEvents();
    form.WMDropFiles({out.filePath(QStringLiteral("table.csv"))});
    if (styled)
        Style(*form.Chart1);
    QApplication::processEvents();

    dialogs->answers << out.filePath(QStringLiteral("chart.emf")) << out.filePath(QStringLiteral("chart.bmp"));
    form.SaveEMFBtn->click();
    form.SaveBmpBtn->click();
    form.Chart1->grab().save(out.filePath(QStringLiteral("screen.png")));
    std::printf("chart %dx%d, %lld points, %s\n", form.Chart1->width(), form.Chart1->height(), (long long)n,
                styled ? "styled" : "plain");
    std::fflush(stdout);
    int rc = messages->shown == 0 ? 0 : 1;

    if (!hold.isEmpty() && rc == 0) {
        (hold == QLatin1String("emf") ? form.CopyEMFBtn : form.CopyBmpBtn)->click();
        if (messages->shown != 0) {
            rc = 1;
        } else {
            std::printf("ready\n");
            std::fflush(stdout);
            QTimer::singleShot(seconds * 1000, &app, &QCoreApplication::quit);
            app.exec();
        }
    }
    TApplication::SetErrorReporter(nullptr, nullptr);
    return rc;
}
