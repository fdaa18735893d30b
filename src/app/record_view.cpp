#include "app/record_view.h"

#include "app/cformat.h"
#include "app/chart_setups.h"
#include "app/prompts.h"
#include "app/widgets.h"
#include "chart/plot_map.h"
#include "chart/plot_widget.h"
#include "link/csv_export.h"
#include "link/link_error.h"

#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

using marev::cformat;

namespace {

constexpr int selected_channel = 2;
// A press that moves this many pixels across pans the chart rather than
// clicking it, as the chart itself tells the two apart.
constexpr int drag_threshold = 3;

QString stamp_text(std::int64_t t) {
    std::string s = iso_time(t);
    s[10] = ' ';
    return QString::fromStdString(s);
}

QString duration_text(double seconds) {
    const long long s = std::llround(std::max(seconds, 0.0));
    if (s >= 86400)
        return cformat("%lld d %02lld:%02lld:%02lld", s / 86400, s / 3600 % 24, s / 60 % 60,
                       s % 60);
    return cformat("%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
}

} // namespace

TF_RecordView::TF_RecordView(const QString& file, QWidget* parent)
    : QMainWindow(parent), path(file),
      records_(std::make_unique<record_reader>(QFile::encodeName(file).toStdString())) {
    setObjectName("TF_RecordView");
    setWindowTitle(QFileInfo(file).fileName());

    Plot2 = new PlotWidget;
    Plot2->setObjectName("Plot2");
    setup_raw_counts_chart(Plot2->plot());
    Plot2->plot().SetTitleText("Raw counts of the selected record");
    Plot1 = new PlotWidget;
    Plot1->setObjectName("Plot1");
    setup_bioluminescence_chart(Plot1->plot());
    // The chart shows the whole run, or where the user zoomed or panned to;
    // never the newest points alone.
    Plot1->plot().GetXAxis(0).SetTrackingEnabled(false);
    Plot1->plot().GetXAxis(0).SetTitle("Time from start in seconds");
    PlotChannel& mark = Plot1->plot().AddChannel();
    mark.SetName("Selected");
    mark.SetTitleText("Selected record");
    mark.SetColor(Qt::white);
    mark.SetTraceVisible(false);
    mark.SetMarkersVisible(true);
    mark.SetMarkersSize(4);
    mark.SetXAxisTrackingEnabled(false);
    mark.SetYAxisTrackingEnabled(false);
    Plot1->show_whole_run(true);
    Plot1->set_paused_hint("Paused: double-click to show the whole run");
    Plot1->installEventFilter(this);
    Plot1->setCursor(Qt::CrossCursor);

    auto* panel = new QWidget;
    auto* col = new QVBoxLayout(panel);
    const auto label = [&](QLabel*& l, const char* name) {
        l = new QLabel(panel);
        l->setObjectName(name);
        col->addWidget(l);
    };
    label(L_Time, "L_Time");
    label(L_Record, "L_Record");
    label(L_Serial, "L_Serial");
    label(L_CalCoeff, "L_CalCoeff");
    label(L_PumpRPM, "L_PumpRPM");
    label(L_FlowRPM, "L_FlowRPM");
    label(L_PMTvoltage, "L_PMTvoltage");
    label(L_HVControl, "L_HVControl");
    label(L_AveBL, "L_AveBL");
    label(L_Raw, "L_Raw");
    col->addStretch(1);
    panel->setMinimumWidth(220);

    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(Plot2);
    splitter->addWidget(Plot1);
    splitter->setChildrenCollapsible(false);
    splitter->setStyleSheet("QSplitter::handle { background: #2b2b2b; }");
    splitter->setSizes({300, 360});

    auto* central = new QWidget;
    auto* row = new QHBoxLayout(central);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(panel);
    row->addWidget(splitter, 1);
    setCentralWidget(central);

    L_Summary = new QLabel;
    L_Summary->setObjectName("L_Summary");
    PB_Load = new QProgressBar;
    PB_Load->setObjectName("PB_Load");
    PB_Load->setRange(0, 1000);
    PB_Load->setMaximumWidth(200);
    B_Cancel = new QPushButton("Cancel");
    B_Cancel->setObjectName("B_Cancel");
    B_Cancel->setFocusPolicy(Qt::NoFocus);
    connect(B_Cancel, &QPushButton::clicked, this, [this] { cancel_load(); });
    statusBar()->addWidget(L_Summary, 1);
    statusBar()->addPermanentWidget(PB_Load);
    statusBar()->addPermanentWidget(B_Cancel);
    PB_Load->hide();
    B_Cancel->hide();

    const auto make = [this](QAction*& a, const char* name, const char* caption,
                             const QKeySequence& key) {
        a = make_action(this, name, caption);
        a->setShortcut(key);
    };
    make(A_Reload, "A_Reload", "Reload", QKeySequence("Ctrl+R"));
    connect(A_Reload, &QAction::triggered, this, [this] { A_ReloadExecute(); });
    make(A_ExportCSV, "A_ExportCSV", "Export as CSV...", QKeySequence());
    connect(A_ExportCSV, &QAction::triggered, this, [this] { A_ExportCSVExecute(); });
    make(A_Close, "A_Close", "Close", QKeySequence::Close);
    connect(A_Close, &QAction::triggered, this, [this] { close(); });
    make(A_WholeRun, "A_WholeRun", "Show Whole Run", QKeySequence(Qt::Key_F7));
    A_WholeRun->setCheckable(true);
    A_WholeRun->setChecked(true);
    connect(A_WholeRun, &QAction::triggered, this, [this] { Plot1->show_whole_run(true); });
    connect(Plot1, &PlotWidget::view_changed, A_WholeRun,
            [this](plot_view view) { A_WholeRun->setChecked(view == plot_view::whole_run); });
    QMenu* menu = menuBar()->addMenu("&File");
    menu->addAction(A_Reload);
    menu->addAction(A_ExportCSV);
    menu->addSeparator();
    menu->addAction(A_Close);
    menuBar()->addMenu("&View")->addAction(A_WholeRun);

    progress_timer_ = new QTimer(this);
    progress_timer_->setInterval(50);
    connect(progress_timer_, &QTimer::timeout, this, [this] { show_progress(); });

    resize(1000, 700);
}

TF_RecordView::~TF_RecordView() {
    cancel_ = true;
    if (worker_.joinable())
        worker_.join();
}

void TF_RecordView::start_work(std::function<void()> work, void (TF_RecordView::*done)()) {
    cancel_ = false;
    done_ = 0;
    total_ = 0;
    error_ = nullptr;
    PB_Load->setValue(0);
    PB_Load->show();
    B_Cancel->show();
    A_Reload->setEnabled(false);
    A_ExportCSV->setEnabled(false);
    progress_timer_->start();
    worker_ = std::thread([this, work = std::move(work), done] {
        try {
            work();
        } catch (...) {
            error_ = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this,
            [this, done] {
                if (worker_.joinable())
                    worker_.join();
                progress_timer_->stop();
                PB_Load->hide();
                B_Cancel->hide();
                A_Reload->setEnabled(true);
                A_ExportCSV->setEnabled(true);
                (this->*done)();
            },
            Qt::QueuedConnection);
    });
}

void TF_RecordView::load() {
    if (loading())
        return;
    start_work(
        [this] {
            finished_ = records_->read([this](std::uint64_t done, std::uint64_t total) {
                done_ = done;
                total_ = total;
                return !cancel_;
            });
        },
        &TF_RecordView::finish_load);
}

void TF_RecordView::cancel_load() {
    cancel_ = true;
}

void TF_RecordView::show_progress() {
    const std::uint64_t total = total_;
    if (total > 0)
        PB_Load->setValue(int(double(done_) / double(total) * 1000));
}

void TF_RecordView::finish_load() {
    if (error_) {
        QString text = "Could not read the file.", detail;
        try {
            std::rethrow_exception(error_);
        } catch (const link_error& e) {
            text = QString::fromStdString(e.what());
            detail = QString::fromStdString(e.detail());
        } catch (const std::exception& e) {
            detail = QString::fromLocal8Bit(e.what());
        }
        marev::current_prompts().message(text, "Open Record File", detail);
        if (!loaded_once_)
            close();
        return;
    }
    loaded_once_ = true;
    add_points();
    Plot1->show_whole_run(true);
    show_summary();
}

void TF_RecordView::add_points() {
    const record_reader& r = *records_;
    PlotChannel& bl = Plot1->plot().GetChannel(1);
    if (r.restarts() != restarts_ || r.record_count() < plotted_) {
        restarts_ = r.restarts();
        bl.ClearPoints();
        plotted_ = 0;
        last_x_ = -1;
        have_base_ = false;
    }
    const bool first = plotted_ == 0;
    for (std::size_t i = plotted_; i < r.record_count(); ++i) {
        double x = last_x_ + 1;
        if (r.has_time(i)) {
            if (!have_base_) {
                have_base_ = true;
                base_ = r.time(i) - std::int64_t(x);
            }
            x = double(r.time(i) - base_);
        }
        bl.AddPoint(x, r.ave_bl(i));
        last_x_ = x;
    }
    plotted_ = r.record_count();
    PlotXAxis& x = Plot1->plot().GetXAxis(0);
    x.SetTitle(have_base_ ? "Time from start in seconds (time stamps of the file)"
                          : "Time from start in seconds (a record a second)");
    if (first || selected_ >= r.record_count())
        select(0);
}

void TF_RecordView::show_summary() {
    const record_reader& r = *records_;
    const std::size_t n = r.record_count();
    QString text = cformat("%zu record%s, %zu bad line%s", n, n == 1 ? "" : "s", r.bad_lines(),
                           r.bad_lines() == 1 ? "" : "s");
    std::size_t first = 0, last = n;
    while (first < n && !r.has_time(first))
        ++first;
    while (last > first && !r.has_time(last - 1))
        --last;
    if (first < last)
        text += ", from " + stamp_text(r.time(first)) + " to " + stamp_text(r.time(last - 1));
    else
        text += ", no time stamps";
    const PlotChannel& bl = Plot1->plot().GetChannel(1);
    if (bl.PointCount() > 0)
        text += ", duration " + duration_text(bl.PointX(bl.PointCount() - 1) - bl.PointX(0));
    if (!finished_)
        text += " (loading stopped)";
    L_Summary->setText(text);
}

void TF_RecordView::select(std::size_t i) {
    const record_reader& r = *records_;
    if (r.record_count() == 0)
        return;
    selected_ = std::min(i, r.record_count() - 1);
    const data_record rec = r.record(selected_);

    PlotChannel& raw = Plot2->plot().GetChannel(0);
    raw.ClearPoints();
    for (int j = 0; j < 60; ++j)
        raw.AddPoint(j + 1, rec.raw_counts[std::size_t(j)]);
    raw.GetXAxis().FitToData();
    PlotChannel& mark = Plot1->plot().GetChannel(selected_channel);
    mark.ClearPoints();
    const PlotChannel& bl = Plot1->plot().GetChannel(1);
    if (selected_ < std::size_t(bl.PointCount()))
        mark.AddPoint(bl.PointX(int(selected_)), bl.PointY(int(selected_)));

    L_Time->setText(r.has_time(selected_) ? "Time: " + stamp_text(r.time(selected_))
                                          : QString("Time: not stamped"));
    L_Record->setText(
        cformat("Record %zu of %zu, line %zu", selected_ + 1, r.record_count(), r.line(selected_)));
    L_Serial->setText(cformat("Serial Number: %03d", int(rec.serial_number)));
    L_CalCoeff->setText(cformat("Calibration Coefficient: %.2e", rec.cal_coeff));
    L_PumpRPM->setText(cformat("Pump RPM: %d", int(rec.pump_rpm)));
    L_FlowRPM->setText(cformat("Flow RPM: %d", int(rec.flow_rpm)));
    L_PMTvoltage->setText(cformat("PMT Input Voltage: %.2lf", rec.pmt_voltage));
    L_HVControl->setText(cformat("PMT Control Voltage: %.3lf", rec.hv_control));
    L_AveBL->setText(cformat("Average Bioluminescence: %.2e", rec.ave_bl));
    L_Raw->setText(cformat("Raw counts: %.0f", rec.raw_counts[0]));
}

std::size_t TF_RecordView::nearest(double x) const {
    const PlotChannel& bl = Plot1->plot().GetChannel(1);
    const auto xs = bl.x_values();
    if (xs.empty())
        return 0;
    if (bl.x_non_decreasing()) {
        const std::size_t i = std::size_t(std::lower_bound(xs.begin(), xs.end(), x) - xs.begin());
        if (i == 0)
            return 0;
        if (i == xs.size())
            return xs.size() - 1;
        return x - xs[i - 1] <= xs[i] - x ? i - 1 : i;
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < xs.size(); ++i)
        if (std::abs(xs[i] - x) < std::abs(xs[best] - x))
            best = i;
    return best;
}

void TF_RecordView::keyPressEvent(QKeyEvent* event) {
    if (loading()) {
        // The records are being added to on the loading thread.
        QMainWindow::keyPressEvent(event);
        return;
    }
    const std::size_t n = records_->record_count();
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        select(selected_ > 0 ? selected_ - 1 : 0);
        return;
    case Qt::Key_Right:
    case Qt::Key_Down:
        select(selected_ + 1);
        return;
    case Qt::Key_PageUp:
        select(selected_ > 60 ? selected_ - 60 : 0);
        return;
    case Qt::Key_PageDown:
        select(selected_ + 60);
        return;
    case Qt::Key_Home:
        select(0);
        return;
    case Qt::Key_End:
        select(n > 0 ? n - 1 : 0);
        return;
    default:
        QMainWindow::keyPressEvent(event);
    }
}

bool TF_RecordView::eventFilter(QObject* watched, QEvent* event) {
    // The chart zooms, pans and hovers by itself; the window only watches for
    // a click (a press released without a drag) to select the nearest record.
    if (watched != Plot1)
        return QMainWindow::eventFilter(watched, event);
    const auto* e = static_cast<QMouseEvent*>(event);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const plot_layout lay = plot_painter::layout(Plot1->plot(), Plot1->rect(), Plot1->font());
        clicking_ =
            e->button() == Qt::LeftButton && lay.plot_area.contains(e->position().toPoint());
        press_at_ = e->position().toPoint();
        break;
    }
    case QEvent::MouseMove:
        if (clicking_ && std::abs(e->position().toPoint().x() - press_at_.x()) >= drag_threshold)
            clicking_ = false;
        break;
    case QEvent::MouseButtonDblClick:
        clicking_ = false;
        // A file's chart has no newest points to follow: a double-click returns
        // to the whole run, and selects nothing.
        if (e->button() == Qt::LeftButton) {
            Plot1->show_whole_run(true);
            // The view moved under the pointer: the chart finds the point there anew.
            QMouseEvent move(QEvent::MouseMove, e->position(), e->globalPosition(), Qt::NoButton,
                             Qt::NoButton, e->modifiers());
            QCoreApplication::sendEvent(Plot1, &move);
            return true;
        }
        break;
    case QEvent::MouseButtonRelease:
        if (clicking_ && e->button() == Qt::LeftButton && !loading()) {
            const plot_layout lay =
                plot_painter::layout(Plot1->plot(), Plot1->rect(), Plot1->font());
            const QRect& area = lay.plot_area;
            if (area.width() >= 2) {
                const double fraction = (press_at_.x() - area.left()) / double(area.width() - 1);
                select(
                    nearest(plot_map(Plot1->plot().GetXAxis(0), area.width()).value_at(fraction)));
            }
        }
        if (e->button() == Qt::LeftButton)
            clicking_ = false;
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void TF_RecordView::A_ReloadExecute() {
    load();
}

void TF_RecordView::A_ExportCSVExecute() {
    if (loading())
        return;
    const QFileInfo info(path);
    const std::optional<QString> target =
        marev::current_prompts().save_file(info.completeBaseName() + ".csv");
    if (!target)
        return;
    export_path_ = *target;
    export_ok_ = false;
    start_work(
        [this, file = QFile::encodeName(*target).toStdString(),
         name = info.fileName().toStdString()] {
            const record_reader& r = *records_;
            const std::size_t n = r.record_count();
            total_ = n;
            std::ofstream out(file, std::ios::binary);
            std::string rows = csv_header();
            constexpr std::size_t step = 10'000;
            for (std::size_t i = 0; out && !cancel_ && i < n; i += step) {
                append_csv_rows(rows, r, name, i, std::min(n, i + step));
                out.write(rows.data(), std::streamsize(rows.size()));
                rows.clear();
                done_ = std::min(n, i + step);
            }
            out.write(rows.data(), std::streamsize(rows.size()));
            out.close();
            export_ok_ = bool(out);
            if (cancel_) {
                std::error_code ec;
                std::filesystem::remove(file, ec); // half a table would pass for a whole one
            }
        },
        &TF_RecordView::finish_export);
}

void TF_RecordView::finish_export() {
    if (!export_ok_ && !cancel_)
        marev::current_prompts().message("File cannot be written!", "Export as CSV", export_path_);
}

TF_RecordView* open_record_view(const QString& path) {
    auto* view = new TF_RecordView(path);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->show();
    view->load();
    return view;
}
