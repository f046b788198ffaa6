#include "app/desktop/ErrorChart.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/desktop/QtUi.h"
#include "platform/Errors.h"
#include "window/Program.h"

namespace zortan::desktop {

namespace {

const std::array<QColor, 4> kCategoryColours{QColor(0, 0, 255), QColor(220, 0, 0),
                                             QColor(0, 140, 0), QColor(0, 0, 0)};

double percentOf(uint32_t count, unsigned scale, int64_t steps) {
    return static_cast<double>(static_cast<long double>(count) * scale / steps);
}

// Round steps for an axis from 0 to `top`: 1, 2 or 5 times a power of ten.
double tickStep(double top, int wanted) {
    const double raw = top / wanted;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power) return m * power;
    return 10 * power;
}

}  // namespace

ErrorChartData errorChartData(const Program& p) {
    ErrorChartData data;
    const CoderState& c = p.coder;
    data.compare = p.shell.compareMode;
    data.steps = p.run.stepCounter;
    data.clusters = p.shell.clustersNb;
    if (data.steps <= 0) return data;
    const unsigned scale = data.compare ? 200 : 100;
    const std::array<std::string, 3> labels{p.cathLabel1, p.cathLabel2, p.cathLabel3};
    const auto records = [&](const TErrorRecordArray& errors, ChartLine::Source source,
                             const std::string& prefix) {
        for (int k = 0; k < 3; ++k) {
            ChartLine line{prefix + labels[static_cast<size_t>(k)], source, k, {}};
            for (int t = 0; t < data.clusters; ++t) {
                const TErrorRecord& e = checkedAt(errors, t);
                const uint32_t count = k == 0 ? e.cath1 : k == 1 ? e.cath2 : e.cath3;
                line.percent.push_back(percentOf(count, scale, data.steps));
            }
            data.lines.push_back(std::move(line));
        }
    };
    if (!data.compare) {
        records(c.errorRecords1, ChartLine::Source::First, "");
        return data;
    }
    records(c.errorRecords1, ChartLine::Source::First, "data_1 ");
    records(c.errorRecords2, ChartLine::Source::Second, "data_2 ");
    const std::array<const std::vector<uint32_t>*, 4> diffs{&c.cath1Diff, &c.cath2Diff,
                                                            &c.cath3Diff, &c.groupDiff};
    for (int k = 0; k < 4; ++k) {
        ChartLine line{"differences " + (k < 3 ? labels[static_cast<size_t>(k)] : "group"),
                       ChartLine::Source::Difference,
                       k,
                       {}};
        for (int t = 0; t < data.clusters; ++t)
            line.percent.push_back(
                percentOf(checkedAt(*diffs[static_cast<size_t>(k)], t), scale, data.steps));
        data.lines.push_back(std::move(line));
    }
    return data;
}

QImage renderErrorChart(const ErrorChartData& data, QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, true);
    QFont font("DejaVu Sans");
    font.setPixelSize(12);
    painter.setFont(font);
    const QFontMetrics metrics(font);

    const QString title =
        data.compare ? QStringLiteral("Classification errors and differences, %1 events in pairs")
                           .arg(data.steps / 2)
                     : QStringLiteral("Classification error, %1 events").arg(data.steps);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 6, size.width(), 20), Qt::AlignHCenter, title);
    if (data.lines.empty() || data.clusters < 1) {
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("No event has been coded."));
        return image;
    }

    const int legendWidth = 200;
    const QRect plot(60, 34, size.width() - 60 - legendWidth - 20, size.height() - 34 - 50);
    double top = 0;
    for (const ChartLine& l : data.lines)
        for (double v : l.percent) top = std::max(top, v);
    top = top <= 0 ? 10 : top;
    const double yStep = tickStep(top, 8);
    top = std::ceil(top / yStep) * yStep;
    const int K = data.clusters;
    const auto xOf = [&](double clusters) {
        return K == 1 ? plot.center().x()
                      : plot.left() + (clusters - 1) * plot.width() / static_cast<double>(K - 1);
    };
    const auto yOf = [&](double percent) { return plot.bottom() - percent * plot.height() / top; };

    // Grid, axes and their numbers.
    painter.setPen(QPen(QColor(225, 225, 225), 1));
    for (double v = yStep; v <= top + yStep / 2; v += yStep)
        painter.drawLine(QPointF(plot.left(), yOf(v)), QPointF(plot.right(), yOf(v)));
    painter.setPen(QPen(Qt::black, 1));
    painter.drawLine(plot.bottomLeft(), plot.bottomRight());
    painter.drawLine(plot.bottomLeft(), plot.topLeft());
    for (double v = 0; v <= top + yStep / 2; v += yStep) {
        const QString label = QString::number(v, 'g', 4);
        painter.drawText(QPointF(plot.left() - 8 - metrics.horizontalAdvance(label),
                                 yOf(v) + metrics.ascent() / 2.0),
                         label);
    }
    const double xStep = std::max(1.0, tickStep(K, 10));
    for (double k = 1; k <= K; k += (k == 1 && xStep > 1 ? xStep - 1 : xStep)) {
        const QString label = QString::number(static_cast<int>(k));
        painter.drawLine(QPointF(xOf(k), plot.bottom()), QPointF(xOf(k), plot.bottom() + 4));
        painter.drawText(QPointF(xOf(k) - metrics.horizontalAdvance(label) / 2.0,
                                 plot.bottom() + 6 + metrics.ascent()),
                         label);
    }
    painter.drawText(QRect(plot.left(), plot.bottom() + 24, plot.width(), 20), Qt::AlignHCenter,
                     QStringLiteral("Number of clusters"));
    painter.save();
    painter.translate(16, plot.center().y());
    painter.rotate(-90);
    painter.drawText(QRect(-100, -10, 200, 20), Qt::AlignHCenter, QStringLiteral("Error, %"));
    painter.restore();

    // The lines and the legend.
    int legendY = plot.top();
    for (const ChartLine& l : data.lines) {
        QPen pen(kCategoryColours[static_cast<size_t>(l.category)], 2);
        // The second series is drawn after the first, dashed and darker, so
        // that it stays visible where the two are equal.
        if (l.source == ChartLine::Source::Second) {
            pen.setStyle(Qt::DashLine);
            pen.setColor(pen.color().darker(250));
        }
        if (l.source == ChartLine::Source::Difference) pen.setStyle(Qt::DotLine);
        painter.setPen(pen);
        QPainterPath path;
        for (size_t t = 0; t < l.percent.size(); ++t) {
            const QPointF point(xOf(static_cast<double>(t + 1)), yOf(l.percent[t]));
            if (t == 0)
                path.moveTo(point);
            else
                path.lineTo(point);
        }
        if (l.percent.size() == 1) path.addEllipse(path.currentPosition(), 2, 2);
        painter.drawPath(path);
        const int x = plot.right() + 20;
        painter.drawLine(x, legendY + 8, x + 30, legendY + 8);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(x + 38, legendY + 8 + metrics.ascent() / 2), toQString(l.name));
        legendY += 20;
    }
    return image;
}

ErrorChartWindow::ErrorChartWindow(Ui& ui, QWidget* parent) : QDialog(parent), ui_(ui) {
    setWindowTitle(QStringLiteral("Zortan - error table"));
    setObjectName(QStringLiteral("ErrorChart"));
    view_ = new QLabel(this);
    view_->setFixedSize(kChartImageSize);
    save_ = new QPushButton(QStringLiteral("Save as PNG..."), this);
    save_->setObjectName(QStringLiteral("SaveChart"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::hide);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);
}

void ErrorChartWindow::setData(const ErrorChartData& data, const std::string& suggestedPath) {
    data_ = data;
    suggestedPath_ = suggestedPath;
    view_->setPixmap(QPixmap::fromImage(renderErrorChart(data_, kChartImageSize)));
}

bool ErrorChartWindow::saveAsPng() {
    FileDialogRequest request;
    request.title = "Error chart saving";
    request.path = suggestedPath_;
    request.defaultExtension = ".png";
    request.filters = {{"PNG images", "*.png"}};
    const std::optional<std::string> path = ui_.chooseSaveFile(request);
    if (!path) return false;
    if (renderErrorChart(data_, kChartImageSize).save(toQString(*path), "PNG")) return true;
    ui_.showMessage("The chart could not be saved as \"" + *path + "\".");
    return false;
}

}  // namespace zortan::desktop
