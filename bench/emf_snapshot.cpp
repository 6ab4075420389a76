// Renders a chart into an enhanced metafile and, with the same renderer,
// into a bitmap, so that an outside reader's picture of the metafile can be
// compared with ours (tools/emf-check.sh) and a change can be looked at.
//
//   emf_snapshot OUT_PREFIX [plain|styled] [points=1000] [width=749 height=527]
//
// Writes OUT_PREFIX.emf and OUT_PREFIX.png. "plain" is the chart as the
// program starts it, with a table plotted; "styled" adds axis names (one of
// them Japanese and rotated), a shadow, a border, a filled wall with a
// background picture, a dashed thick line and bold italic underlined title.
//
//   emf_snapshot --crop IN.png OUT.png
//
// Cuts a reader's page picture down to what was drawn on it: the smallest
// rectangle holding every pixel that is neither white nor transparent.
//
//   emf_snapshot --compare A.png B.png [tolerance=48]
//
//   emf_snapshot --lines OURS.png THEIRS.png
//
// Looks at the thin lines of a reader's picture where ours has them: the
// dotted grid (the horizontal grid line nearest the top that is all grid
// grey in ours) must come out dotted, about one pixel in three inked in
// short runs, and the axes (the longest black column and row of ours) dark.
// Prints what it finds; exits 1 when either is not so.
//
// Compares two pictures after bringing the second to the first's size:
// prints the share of pixels whose channels differ by more than
// `tolerance`, the share of those with no matching pixel of the second
// within one pixel either, and the mean absolute difference per channel.

#include "ChartModel.h"
#include "ChartRenderer.h"
#include "EmfDevice.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <cstdio>
#include <map>
#include <string>
#include <cstdlib>

namespace {

void Fill(TChartModel& chart, qsizetype n)
{
    auto* points = chart.AddSeries<TPointSeries>(QStringLiteral("Series1"));
    auto* line = chart.AddSeries<TLineSeries>(QStringLiteral("Series2"));
    QList<double> xs(n), ys(n);
    QRandomGenerator rng(7);
    for (qsizetype i = 0; i < n; ++i) {
        xs[i] = rng.generateDouble() * 100.0;
        ys[i] = 0.8 * xs[i] + 5.0 + rng.generateDouble() * 30.0;
    }
    points->AddXYs(xs, ys);
    line->AddXY(-25, 0.8 * -25 + 20);
    line->AddXY(125, 0.8 * 125 + 20);
    chart.BottomAxis().SetMinMax(-25, 125);
    chart.LeftAxis().SetMinMax(-20, 150);
    chart.SubTitle().Text().Clear();
    chart.SubTitle().Text().Add(QStringLiteral("y = 0.8000x + 20.000  R = 0.6180"));
}

void Style(TChartModel& chart)
{
    chart.BottomAxis().Title().SetCaption(QStringLiteral("時間 (s)"));
    chart.LeftAxis().Title().SetCaption(QStringLiteral("電圧 V"));
    chart.Shadow().SetVisible(true);
    chart.Border().SetVisible(true);
    chart.Walls().Back().SetTransparent(false);
    chart.Walls().Back().SetColor(0x00E0F0FF);
    QImage picture(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, qRgb(200 + x / 2, 220 - y, 240));
    chart.Walls().Back().Picture().SetImage(picture);
    chart.Title().Font().SetStyle(fsBold | fsItalic | fsUnderline);
    chart.Title().Font().SetSize(14);
    chart.Series(1)->LinePen().SetWidth(3);
    chart.Series(1)->LinePen().SetStyle(psDash);
    chart.Series(0)->Pointer().SetStyle(psTriangle);
}

int Crop(const char* in, const char* out)
{
    QImage image = QImage(QString::fromLocal8Bit(in)).convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", in);
        return 2;
    }
    int x0 = image.width(), y0 = image.height(), x1 = -1, y1 = -1;
    for (int y = 0; y < image.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(row[x]) == 0 || (row[x] | 0xFF000000u) == 0xFFFFFFFFu)
                continue;
            x0 = std::min(x0, x);
            x1 = std::max(x1, x);
            y0 = std::min(y0, y);
            y1 = std::max(y1, y);
        }
    }
    if (x1 < 0) {
        std::fprintf(stderr, "%s is blank\n", in);
        return 1;
    }
    QImage cut = image.copy(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    QImage flat(cut.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter(&flat).drawImage(0, 0, cut);
    return flat.save(QString::fromLocal8Bit(out)) ? 0 : 1;
}

int Compare(const char* a, const char* b, int tolerance)
{
    QImage ours(QString::fromLocal8Bit(a)), theirs(QString::fromLocal8Bit(b));
    if (ours.isNull() || theirs.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", ours.isNull() ? a : b);
        return 2;
    }
    // Both on white, so transparent parts compare as a page would show them.
    auto flatten = [](const QImage& image) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter(&flat).drawImage(0, 0, image);
        return flat;
    };
    ours = flatten(ours);
    // A reader's picture a pixel or two larger has an anti-aliased edge
    // more: cut it off rather than resample the whole picture.
    theirs = flatten(theirs);
    if (std::abs(theirs.width() - ours.width()) <= 2 && std::abs(theirs.height() - ours.height()) <= 2 &&
        theirs.width() >= ours.width() && theirs.height() >= ours.height())
        theirs = theirs.copy(QRect(QPoint(0, 0), ours.size()));
    else
        theirs = theirs.scaled(ours.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    auto differs = [&](QRgb p, QRgb q) {
        return std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)), std::abs(qBlue(p) - qBlue(q))}) >
               tolerance;
    };
    qint64 off = 0, offNear = 0;
    double sum = 0;
    for (int y = 0; y < ours.height(); ++y) {
        const QRgb* p = reinterpret_cast<const QRgb*>(ours.constScanLine(y));
        const QRgb* q = reinterpret_cast<const QRgb*>(theirs.constScanLine(y));
        for (int x = 0; x < ours.width(); ++x) {
            sum += std::abs(qRed(p[x]) - qRed(q[x])) + std::abs(qGreen(p[x]) - qGreen(q[x])) +
                   std::abs(qBlue(p[x]) - qBlue(q[x]));
            if (!differs(p[x], q[x]))
                continue;
            ++off;
            // Two rasterisers may put a one-pixel line or dot a pixel apart:
            // a pixel counts again only when no neighbour of theirs matches.
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx) {
                    const int nx = x + dx, ny = y + dy;
                    near = nx >= 0 && ny >= 0 && nx < ours.width() && ny < ours.height() &&
                           !differs(p[x], theirs.pixel(nx, ny));
                }
            offNear += !near;
        }
    }
    const double pixels = double(ours.width()) * ours.height();
    std::printf("size=%dx%d (theirs %dx%d) differing_pixels=%.2f%% unmatched_within_1px=%.2f%% mean_abs_diff=%.2f\n",
                ours.width(), ours.height(), QImage(QString::fromLocal8Bit(b)).width(),
                QImage(QString::fromLocal8Bit(b)).height(), 100.0 * off / pixels, 100.0 * offNear / pixels,
                sum / (3 * pixels));
    return 0;
}

// A reader's picture at our picture's size, on white: cut when it is a
// pixel or two larger, else resampled without smoothing, which would blur
// a one-pixel pattern away.
QImage AtSizeOf(const QImage& theirs, const QSize& size)
{
    QImage flat(theirs.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter(&flat).drawImage(0, 0, theirs);
    if (std::abs(flat.width() - size.width()) <= 2 && std::abs(flat.height() - size.height()) <= 2 &&
        flat.width() >= size.width() && flat.height() >= size.height())
        return flat.copy(QRect(QPoint(0, 0), size));
    return flat.scaled(size, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

int Lines(const char* a, const char* b)
{
    QImage ours(QString::fromLocal8Bit(a)), theirs(QString::fromLocal8Bit(b));
    if (ours.isNull() || theirs.isNull()) {
        std::fprintf(stderr, "cannot read %s\n", ours.isNull() ? a : b);
        return 2;
    }
    ours = ours.convertToFormat(QImage::Format_RGB32);
    theirs = AtSizeOf(theirs, ours.size());
    const QRgb gridGrey = qRgb(160, 160, 160);
    auto lum = [](QRgb c) { return (qRed(c) * 299 + qGreen(c) * 587 + qBlue(c) * 114) / 1000; };

    // The grid row: the topmost one whose grid pixels number at least 80 % of
    // the richest row's (the top one can lie under the plot's frame).
    std::vector<int> count(size_t(ours.height()), 0);
    for (int y = 0; y < ours.height(); ++y)
        for (int x = 0; x < ours.width(); ++x)
            count[size_t(y)] += ours.pixel(x, y) == gridGrey;
    const int most = *std::max_element(count.begin(), count.end());
    int gy = -1;
    for (int y = 0; y < ours.height() && gy < 0; ++y)
        if (most > 20 && count[size_t(y)] >= most * 8 / 10)
            gy = y;
    bool ok = true;
    if (gy < 0) {
        std::printf("grid: none in our picture\n");
        ok = false;
    } else {
        int x0 = ours.width(), x1 = -1;
        for (int x = 0; x < ours.width(); ++x)
            if (ours.pixel(x, gy) == gridGrey) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
            }
        // The background: what ours shows most between the dots.
        std::map<QRgb, int> colours;
        for (int x = x0; x <= x1; ++x)
            if (ours.pixel(x, gy) != gridGrey)
                ++colours[ours.pixel(x, gy)];
        QRgb bg = qRgb(255, 255, 255);
        int best = 0;
        for (const auto& [c, n] : colours)
            if (n > best) {
                best = n;
                bg = c;
            }
        // Theirs: of the rows gy-1..gy+1, the one with most ink.
        auto inked = [&](int x, int y) { return lum(theirs.pixel(x, y)) < lum(bg) - 20; };
        int ty = gy, tyInk = -1;
        for (int y = std::max(0, gy - 1); y <= std::min(ours.height() - 1, gy + 1); ++y) {
            int n = 0;
            for (int x = x0; x <= x1; ++x)
                n += inked(x, y);
            if (n > tyInk) {
                tyInk = n;
                ty = y;
            }
        }
        int runs = 0, gaps = 0, ink = 0;
        long inkLum = 0;
        for (int x = x0; x <= x1; ++x) {
            const bool on = inked(x, ty);
            if (on) {
                ++ink;
                inkLum += lum(theirs.pixel(x, ty));
            }
            if (x > x0 && on != inked(x - 1, ty))
                (on ? runs : gaps) += 1;
        }
        if (inked(x0, ty))
            ++runs;
        const int span = x1 - x0 + 1;
        const double share = double(ink) / span;
        const double run = runs ? double(ink) / runs : 0;
        const double gap = gaps ? double(span - ink) / gaps : double(span - ink);
        const int grey = ink ? int(inkLum / ink) : 255;
        const int contrast = lum(bg) - lum(gridGrey);
        const char* kind = ink == 0                                  ? "missing"
                           : share > 0.8                             ? "solid"
                           : 3 * (lum(bg) - grey) < contrast         ? "faint"
                           : std::fabs(run + gap - 3.0) > 0.5        ? "dotted at another pitch"
                                                                     : "dotted";
        const bool dotted = std::string(kind) == "dotted";
        std::printf("grid (row %d, x %d..%d): ours %.0f%% inked; theirs %.0f%% inked, runs %.1f on / %.1f off, ink "
                    "grey %d on %d -> %s%s\n",
                    gy, x0, x1, 100.0 * count[size_t(gy)] / span, 100.0 * share, run, gap, grey, lum(bg), kind,
                    dotted ? "" : " (FAIL)");
        ok = ok && dotted;
    }

    // The axes: the longest black run down a column at the grid's left end,
    // and along a row below the grid line starting there (not the chart's
    // border, which starts further out).
    struct Run {
        int at = -1, from = 0, length = 0;
    };
    const int gridLeft = gy < 0 ? 0 : [&] {
        int x = 0;
        while (x < ours.width() && ours.pixel(x, gy) != gridGrey)
            ++x;
        return x;
    }();
    auto longest = [&](bool vertical) {
        Run best;
        const int len = vertical ? ours.height() : ours.width();
        const int first = vertical ? std::max(0, gridLeft - 6) : std::max(0, gy);
        const int last = vertical ? gridLeft : ours.height() - 1;
        for (int i = first; i <= last; ++i) {
            int start = 0, n = 0;
            for (int j = 0; j <= len; ++j) {
                const bool black = j < len && (vertical ? ours.pixel(i, j) : ours.pixel(j, i)) == qRgb(0, 0, 0);
                if (black) {
                    if (n++ == 0)
                        start = j;
                } else {
                    if (n > best.length && (vertical || start >= gridLeft - 6))
                        best = Run{i, start, n};
                    n = 0;
                }
            }
        }
        return best;
    };
    for (const bool vertical : {true, false}) {
        const Run r = longest(vertical);
        if (r.length < 20) {
            std::printf("%s axis: none in our picture\n", vertical ? "left" : "bottom");
            ok = false;
            continue;
        }
        // The darkest of three neighbours across the line, averaged along it.
        long sum = 0;
        for (int j = r.from; j < r.from + r.length; ++j) {
            int darkest = 255;
            for (int d = -1; d <= 1; ++d) {
                const int i = std::clamp(r.at + d, 0, (vertical ? ours.width() : ours.height()) - 1);
                darkest = std::min(darkest, lum(vertical ? theirs.pixel(i, j) : theirs.pixel(j, i)));
            }
            sum += darkest;
        }
        const int mean = int(sum / r.length);
        const bool dark = mean < 96;
        std::printf("%s axis (%s %d, %d px): ours black; theirs grey %d -> %s\n", vertical ? "left" : "bottom",
                    vertical ? "column" : "row", r.at, r.length, mean, dark ? "dark" : "light (FAIL)");
        ok = ok && dark;
    }
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc >= 4 && std::string(argv[1]) == "--crop")
        return Crop(argv[2], argv[3]);
    if (argc >= 4 && std::string(argv[1]) == "--lines")
        return Lines(argv[2], argv[3]);
    if (argc >= 4 && std::string(argv[1]) == "--compare")
        return Compare(argv[2], argv[3], argc > 4 ? std::atoi(argv[4]) : 48);
    if (argc < 2) {
        std::fprintf(stderr, "usage: emf_snapshot OUT_PREFIX [plain|styled] [points] [width height]\n"
                             "       emf_snapshot --crop IN.png OUT.png\n"
                             "       emf_snapshot --compare A.png B.png [tolerance]\n"
                             "       emf_snapshot --lines OURS.png THEIRS.png\n");
        return 2;
    }
    const QString prefix = QString::fromLocal8Bit(argv[1]);
    const bool styled = argc > 2 && std::string(argv[2]) == "styled";
    const qsizetype n = argc > 3 ? qsizetype(std::atoll(argv[3])) : 1000;
    const QSize size(argc > 5 ? std::atoi(argv[4]) : 749, argc > 5 ? std::atoi(argv[5]) : 527);

    TChartModel chart;
    Fill(chart, n);
    if (styled)
        Style(chart);

    EmfDevice emf(size);
    {
        QPainter p(&emf);
        RenderChart(chart, p, QRect(QPoint(0, 0), size));
    }
    QFile file(prefix + QStringLiteral(".emf"));
    if (!file.open(QIODevice::WriteOnly) || file.write(emf.Data()) != emf.Data().size()) {
        std::fprintf(stderr, "cannot write %s.emf\n", argv[1]);
        return 1;
    }
    file.close();

    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        RenderChart(chart, p, image.rect());
    }
    if (!image.save(prefix + QStringLiteral(".png")))
        return 1;
    std::printf("%s.emf %lld bytes\n", argv[1], (long long)emf.Data().size());
    return 0;
}
