#include "app/plot/plot.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QFile>
#include <QImage>
#include <QLegendMarker>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPainter>
#include <QScatterSeries>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "measure/compute.h"
#include "record/summary.h"

namespace kolvane::qt {

namespace {

// Qt's chatter while the program's own application object lives (no runtime
// directory, and the like): the plot reports its failures itself.
QtMessageHandler previousHandler = nullptr;
void QuietHandler(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtCriticalMsg || type == QtFatalMsg) previousHandler(type, context, text);
}

constexpr int kWidth = 1200;
constexpr int kHeight = 900;
// Beyond this many readings the line is drawn from each pixel column's lowest
// and highest reading: the same picture, at a fraction of the points.
constexpr std::size_t kMaxPoints = 4 * kWidth;

QString Unit(const std::string& unit) {
  return unit == "us" ? QStringLiteral("\u00b5s") : QString::fromStdString(unit);
}

QString Quantity(const record::Summary& s) {
  if (s.plainNumbers) {
    switch (s.plainKind) {
      case record::PlainKind::kFrequency:
        return QStringLiteral("Frequency");
      case record::PlainKind::kFractional:
        return QStringLiteral("Fractional frequency");
      case record::PlainKind::kPhase:
        return QStringLiteral("Phase (s)");
    }
  }
  const std::string& mode = s.mode;
  if (mode == "f") return QStringLiteral("Frequency");
  if (mode == "T") return QStringLiteral("Period");
  if (mode.rfind("DL", 0) == 0) return QStringLiteral("Pulse duration");
  if (mode == "count") return QStringLiteral("Count");
  if (mode == "ratio") return QStringLiteral("Ratio");
  if (mode == "tacho") return QStringLiteral("Tachometer reading");
  if (mode == "duty") return QStringLiteral("Duty cycle (period / pulse)");
  return QStringLiteral("Reading");
}

QString Text(const std::string& s) {
  return QString::fromStdString(s);
}

// Enough decimals on a value axis to tell its ticks apart.
void LabelDecimals(QValueAxis* axis) {
  const double step = (axis->max() - axis->min()) / std::max(1, axis->tickCount() - 1);
  const int decimals =
      step > 0 ? std::clamp(static_cast<int>(-std::floor(std::log10(step))), 0, 12) : 0;
  axis->setLabelFormat(QStringLiteral("%.%1f").arg(decimals));
}

// The fitted linear frequency drift in the readings' own terms, through
// their mean at their mean time; nothing without a fit or for phase.
QLineSeries* DriftLine(const record::Summary& s, const record::ReadingSeries& series, double t0,
                       double t1) {
  const auto& drift = s.stability.drift;
  if (!s.analysed || !drift || series.Size() == 0 || !std::isfinite(drift->perS)) return nullptr;
  const bool fractional = s.plainNumbers && s.plainKind == record::PlainKind::kFractional;
  const bool frequency =
      s.plainNumbers ? s.plainKind == record::PlainKind::kFrequency : s.mode == "f";
  const bool period = !s.plainNumbers && s.mode == "T";
  if (!fractional && !frequency && !period) return nullptr;
  double tMean = 0;
  for (std::size_t i = 0; i < series.Size(); ++i) tMean += series.TimeS(i);
  tMean /= static_cast<double>(series.Size());
  const auto at = [&](double t) {
    const double y = drift->perS * (t - tMean);
    if (fractional) return s.mean + y;
    return frequency ? s.mean * (1 + y) : s.mean / (1 + y);  // y = mean/T - 1 for a period
  };
  auto* line = new QLineSeries;
  line->setName(
      QStringLiteral("drift %1 per day (fractional)%2")
          .arg(Text(record::General(drift->perDay, 3)),
               drift->removed ? QStringLiteral(" (removed before the deviations)") : QString()));
  line->append(t0, at(t0));
  line->append(t1, at(t1));
  QPen pen(QColor(230, 140, 0));
  pen.setWidthF(2);
  line->setPen(pen);
  return line;
}

QChart* ReadingsChart(const record::Summary& s, const record::ReadingSeries& series) {
  auto* chart = new QChart;
  const QString unit = Unit(s.unit);
  const QString withUnit = unit.isEmpty() ? QString() : QStringLiteral(" ") + unit;
  QString title = Quantity(s);
  if (!s.mode.empty()) title += QStringLiteral(" (mode %1)").arg(Text(s.mode));
  title += QStringLiteral(", %1 readings").arg(s.readings);
  if (s.readings > 0) {
    title +=
        QStringLiteral(": mean %1%2, standard deviation %3%2")
            .arg(Text(record::General(s.mean, 10)), withUnit, Text(record::General(s.stdev, 3)));
  }
  chart->setTitle(title);

  auto* line = new QLineSeries;
  line->setName(QStringLiteral("readings"));
  const std::size_t n = series.Size();
  if (n <= kMaxPoints) {
    for (std::size_t i = 0; i < n; ++i) line->append(series.TimeS(i), series.Value(i));
  } else {
    const double t0 = series.TimeS(0), span = std::max(series.TimeS(n - 1) - t0, 1e-9);
    std::size_t i = 0;
    for (int column = 0; column < kWidth && i < n; ++column) {
      const double end = t0 + span * (column + 1) / kWidth;
      std::size_t lo = i, hi = i;
      for (; i < n && (series.TimeS(i) <= end || column == kWidth - 1); ++i) {
        if (series.Value(i) < series.Value(lo)) lo = i;
        if (series.Value(i) > series.Value(hi)) hi = i;
      }
      for (std::size_t k : {std::min(lo, hi), std::max(lo, hi)}) {
        line->append(series.TimeS(k), series.Value(k));
      }
    }
  }
  chart->addSeries(line);

  auto* x = new QValueAxis;
  x->setTitleText(QStringLiteral("Elapsed time (s)"));
  auto* y = new QValueAxis;
  y->setTitleText(Quantity(s) + (unit.isEmpty() ? QString() : " (" + unit + ")"));
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  line->attachAxis(x);
  line->attachAxis(y);
  if (n > 0) {
    const double t0 = series.TimeS(0), t1 = std::max(series.TimeS(n - 1), t0 + 1e-3);
    auto* mean = new QLineSeries;
    mean->setName(QStringLiteral("mean %1%2").arg(Text(record::General(s.mean, 10)), withUnit));
    mean->append(t0, s.mean);
    mean->append(t1, s.mean);
    QPen pen(QColor(200, 30, 30));
    pen.setWidthF(2);
    pen.setStyle(Qt::DashLine);
    mean->setPen(pen);
    chart->addSeries(mean);
    mean->attachAxis(x);
    mean->attachAxis(y);
    if (QLineSeries* drift = DriftLine(s, series, t0, t1)) {
      chart->addSeries(drift);
      drift->attachAxis(x);
      drift->attachAxis(y);
    }
    x->setRange(t0, t1);
    const double pad =
        s.max > s.min ? (s.max - s.min) * 0.05 : std::max(std::abs(s.mean), 1.0) * 1e-6;
    y->setRange(s.min - pad, s.max + pad);
    x->applyNiceNumbers();
    y->applyNiceNumbers();
    LabelDecimals(x);
    LabelDecimals(y);
  }
  QPen pen(QColor(30, 90, 180));
  pen.setWidthF(1);
  line->setPen(pen);
  return chart;
}

QLogValueAxis* DecadeAxis(const QString& title, double lo, double hi) {
  auto* axis = new QLogValueAxis;
  axis->setBase(10);
  axis->setTitleText(title);
  axis->setMinorTickCount(8);
  // Whole decades, so that at least two ticks carry labels, and a little
  // beyond them, so that no point sits on the frame.
  const double a = std::pow(10.0, std::floor(std::log10(lo)));
  const double b = std::max(std::pow(10.0, std::ceil(std::log10(hi))), a * 10);
  axis->setRange(a / 1.25, b * 1.25);
  axis->setLabelFormat(QStringLiteral("%g"));
  return axis;
}

QColor DeviationColour(record::Deviation d) {
  switch (d) {
    case record::Deviation::kAdev:
      return {110, 110, 110};
    case record::Deviation::kOadev:
      return {30, 90, 180};
    case record::Deviation::kMdev:
      return {220, 110, 0};
    case record::Deviation::kTdev:
      return {40, 150, 60};
    case record::Deviation::kHdev:
      return {200, 40, 40};
    case record::Deviation::kTotdev:
      return {140, 60, 180};
  }
  return Qt::black;
}

QString UpperName(record::Deviation d) {
  return QString::fromStdString(std::string(record::DeviationName(d))).toUpper();
}

// The deviations of the analysis on one log-log chart, each point with its
// confidence interval as an error bar; nothing when no point is drawable.
QChart* DeviationsChart(const record::Summary& s) {
  if (!s.analysed || !s.deviationsApply) return nullptr;
  const auto drawable = [](const record::DeviationPoint& p) { return p.tau > 0 && p.value > 0; };
  double tauLo = 0, tauHi = 0, lo = 0, hi = 0;
  bool any = false, time = false;
  for (const record::DeviationCurve& c : s.stability.curves) {
    for (const record::DeviationPoint& p : c.points) {
      if (!drawable(p)) continue;
      const double low = p.low > 0 ? std::min(p.low, p.value) : p.value;
      const double high = std::isfinite(p.high) ? std::max(p.high, p.value) : p.value;
      tauLo = any ? std::min(tauLo, p.tau) : p.tau;
      tauHi = any ? std::max(tauHi, p.tau) : p.tau;
      lo = any ? std::min(lo, low) : low;
      hi = any ? std::max(hi, high) : high;
      any = true;
      time = time || c.kind == record::Deviation::kTdev;
    }
  }
  if (!any) return nullptr;

  auto* chart = new QChart;
  QString title = QStringLiteral("Frequency stability: tau0 %1 s, 68.3 % confidence intervals")
                      .arg(Text(record::General(s.analysisTau0S, 6)));
  if (s.stability.drift && s.stability.drift->removed) title += QStringLiteral(", drift removed");
  if (s.stability.gaps.missing > 0) {
    title += QStringLiteral(", %1 missing points").arg(s.stability.gaps.missing);
  }
  chart->setTitle(title);
  chart->legend()->setAlignment(Qt::AlignRight);
  auto* x = DecadeAxis(QStringLiteral("tau (s)"), tauLo, tauHi);
  auto* y = DecadeAxis(time ? QStringLiteral("Deviation (TDEV in s)") : QStringLiteral("Deviation"),
                       lo, hi);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  const auto add = [&](QXYSeries* series, const QColor& colour, bool inLegend) {
    chart->addSeries(series);
    series->attachAxis(x);
    series->attachAxis(y);
    series->setColor(colour);
    for (QLegendMarker* m : chart->legend()->markers(series)) m->setVisible(inLegend);
  };

  bool labelled = false;
  for (const record::DeviationCurve& c : s.stability.curves) {
    const QColor colour = DeviationColour(c.kind);
    auto* line = new QLineSeries;
    line->setName(UpperName(c.kind));
    auto* dots = new QScatterSeries;
    dots->setMarkerSize(7);
    dots->setBorderColor(colour);
    std::vector<const record::DeviationPoint*> shown;
    for (const record::DeviationPoint& p : c.points) {
      if (!drawable(p)) continue;
      shown.push_back(&p);
      line->append(p.tau, p.value);
      dots->append(p.tau, p.value);
      // The bar with a cap at each end, as one line drawn through them.
      const double low = p.low > 0 ? p.low : p.value;
      const double high = std::isfinite(p.high) && p.high > 0 ? p.high : p.value;
      if (low == p.value && high == p.value) continue;
      auto* bar = new QLineSeries;
      constexpr double kCap = 1.06;
      for (const QPointF q :
           {QPointF(p.tau / kCap, low), QPointF(p.tau * kCap, low), QPointF(p.tau, low),
            QPointF(p.tau, high), QPointF(p.tau / kCap, high), QPointF(p.tau * kCap, high)}) {
        bar->append(q);
      }
      QPen pen(colour);
      pen.setWidthF(1.2);
      bar->setPen(pen);
      add(bar, colour, false);
    }
    QPen pen(colour);
    pen.setWidthF(2);
    line->setPen(pen);
    add(line, colour, true);
    add(dots, colour, false);
    // The noise named once per run of points of the same type, along the
    // first curve that has one: a point of its own, unseen, whose label is
    // the name (a label format without placeholders is printed as it is).
    if (labelled) continue;
    for (std::size_t i = 0; i < shown.size();) {
      std::size_t j = i;
      while (j < shown.size() && shown[j]->noise == shown[i]->noise) ++j;
      if (shown[i]->noise) {
        labelled = true;
        const record::DeviationPoint& mid = *shown[(i + j - 1) / 2];
        auto* label = new QScatterSeries;
        label->append(mid.tau, mid.value);
        label->setMarkerSize(1);
        label->setPen(Qt::NoPen);
        label->setPointLabelsFormat(Text(std::string(record::NoiseName(*shown[i]->noise))));
        label->setPointLabelsVisible(true);
        label->setPointLabelsClipping(false);
        label->setPointLabelsColor(colour);
        QFont font = label->pointLabelsFont();
        font.setBold(true);
        font.setPointSizeF(font.pointSizeF() * 1.1);
        label->setPointLabelsFont(font);
        add(label, Qt::transparent, false);
      }
      i = j;
    }
  }
  return chart;
}

// Nothing when there is no positive point to draw on log axes.
QChart* AdevChart(const record::Summary& s) {
  std::vector<record::AdevPoint> points;
  for (const record::AdevPoint& p : s.adev) {
    if (p.adev > 0 && p.tauS > 0) points.push_back(p);
  }
  if (points.empty()) return nullptr;
  auto* chart = new QChart;
  chart->setTitle(QStringLiteral("Overlapping Allan deviation of the fractional readings"));
  chart->legend()->hide();
  auto* line = new QLineSeries;
  auto* dots = new QScatterSeries;
  dots->setMarkerSize(8);
  double tauLo = points.front().tauS, tauHi = tauLo, aLo = points.front().adev, aHi = aLo;
  for (const record::AdevPoint& p : points) {
    line->append(p.tauS, p.adev);
    dots->append(p.tauS, p.adev);
    tauLo = std::min(tauLo, p.tauS);
    tauHi = std::max(tauHi, p.tauS);
    aLo = std::min(aLo, p.adev);
    aHi = std::max(aHi, p.adev);
  }
  chart->addSeries(line);
  chart->addSeries(dots);
  auto* x = DecadeAxis(QStringLiteral("tau (s)"), tauLo, tauHi);
  auto* y = DecadeAxis(QStringLiteral("Allan deviation"), aLo, aHi);
  chart->addAxis(x, Qt::AlignBottom);
  chart->addAxis(y, Qt::AlignLeft);
  for (QXYSeries* series : {static_cast<QXYSeries*>(line), static_cast<QXYSeries*>(dots)}) {
    series->attachAxis(x);
    series->attachAxis(y);
    series->setColor(QColor(30, 130, 60));
  }
  return chart;
}

bool EndsWith(const std::string& path, const char* tail) {
  return QString::fromStdString(path).endsWith(QLatin1String(tail), Qt::CaseInsensitive);
}

std::string Render(QWidget* page, const std::string& path) {
  const QString name = QString::fromStdString(path);
  if (EndsWith(path, ".svg")) {
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
      return "cannot write " + path + ": " + file.errorString().toStdString();
    }
    QSvgGenerator svg;
    svg.setOutputDevice(&file);
    svg.setSize(page->size());
    svg.setViewBox(QRect(QPoint(0, 0), page->size()));
    svg.setTitle(QStringLiteral("Recording"));
    QPainter painter;
    if (!painter.begin(&svg)) return "cannot draw " + path;
    page->render(&painter);
    painter.end();
    file.close();
    if (file.error() != QFileDevice::NoError) {
      return "cannot write " + path + ": " + file.errorString().toStdString();
    }
    return {};
  }
  if (!EndsWith(path, ".png")) return "the plot file must end in .png or .svg: " + path;
  QImage image(page->size(), QImage::Format_ARGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    page->render(&painter);
  }
  QFile file(name);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
    return "cannot write " + path + ": " + file.errorString().toStdString();
  }
  if (!image.save(&file, "PNG")) return "cannot write " + path;
  return {};
}

}  // namespace

std::string WritePlot(const record::Summary& summary, const record::ReadingSeries& series,
                      const std::string& path) {
  // Charts are widgets: they need an application object with a GUI platform.
  struct Restore {
    bool active = false;
    ~Restore() {
      if (active) qInstallMessageHandler(previousHandler);
    }
  } restore;  // outlives the application object below
  std::unique_ptr<QApplication> own;
  if (QCoreApplication::instance() == nullptr) {
    previousHandler = qInstallMessageHandler(QuietHandler);
    restore.active = true;
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr &&
        std::getenv("QT_QPA_PLATFORM") == nullptr) {
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    static int argc = 1;
    static char name[] = "kolvane-plot";
    static char* argv[] = {name, nullptr};
    own = std::make_unique<QApplication>(argc, argv);
  } else if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
    return "the plot needs a QApplication, and the program has another application object";
  }

  QWidget page;
  page.setStyleSheet(QStringLiteral("background: white"));
  page.resize(kWidth, kHeight);
  auto* layout = new QVBoxLayout(&page);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  const auto add = [&](QChart* chart) {
    chart->setAnimationOptions(QChart::NoAnimation);
    auto* view = new QChartView(chart, &page);
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::NoFrame);
    layout->addWidget(view, 1);
  };
  add(ReadingsChart(summary, series));
  if (QChart* deviations = DeviationsChart(summary)) {
    add(deviations);
  } else if (QChart* adev = AdevChart(summary)) {
    add(adev);
  }
  // Laid out and drawn without being shown: nothing reaches a screen.
  page.ensurePolished();
  layout->activate();
  QCoreApplication::processEvents();
  return Render(&page, path);
}

}  // namespace kolvane::qt
