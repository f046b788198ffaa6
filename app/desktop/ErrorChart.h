// The chart of a run's error table: error in percent against the number of
// clusters, one line per category, and in compare mode the lines of the
// second series and the differences between the two classifications.
#pragma once

#include <QDialog>
#include <QImage>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace zortan {
struct Program;
class Ui;
}  // namespace zortan

namespace zortan::desktop {

struct ChartLine {
    enum class Source { First, Second, Difference };
    std::string name;
    Source source = Source::First;
    int category = 0;             // 0..2 the categories, 3 the groups
    std::vector<double> percent;  // entry k for k + 1 clusters
};

struct ErrorChartData {
    int clusters = 0;   // the table's rows: 1..clusters
    int64_t steps = 0;  // coding steps the percentages refer to
    bool compare = false;
    std::vector<ChartLine> lines;  // none when no step was done
};

// The error table of the run that just ended, as the error file holds it.
ErrorChartData errorChartData(const Program& program);

// Draws the chart on a white image of `size`.
QImage renderErrorChart(const ErrorChartData& data, QSize size);

constexpr QSize kChartImageSize{900, 560};

// A window that shows the chart and saves it as PNG.
class ErrorChartWindow : public QDialog {
  public:
    // `ui` chooses where the PNG goes.
    ErrorChartWindow(Ui& ui, QWidget* parent);

    void setData(const ErrorChartData& data, const std::string& suggestedPath);
    const ErrorChartData& data() const { return data_; }
    // Asks where to save and saves; true when a file was written.
    bool saveAsPng();
    // The owner connects it, so that its failures stay out of Qt's loop.
    QPushButton* saveButton() const { return save_; }

  private:
    Ui& ui_;
    ErrorChartData data_;
    std::string suggestedPath_;
    QLabel* view_;
    QPushButton* save_;
};

}  // namespace zortan::desktop
