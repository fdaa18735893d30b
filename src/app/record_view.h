#pragma once

#include "link/record_reader.h"

#include <QMainWindow>
#include <QPoint>

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <thread>

class PlotWidget;
class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

// A window that shows one record file: the bioluminescence of every record
// over time below, the 60 counts of the selected record above, its header
// values beside them and a summary line. The file is read on a thread of its
// own, so the window answers while a week of records loads; "Reload" reads
// what a growing file has gained.
class TF_RecordView : public QMainWindow {
public:
    explicit TF_RecordView(const QString& path, QWidget* parent = nullptr);
    ~TF_RecordView() override;

    // Reads the file on (from its start the first time) on the loading thread.
    void load();
    // Stops a load in progress after its current block (what was read
    // stays), or an export (its file is removed).
    void cancel_load();
    // A load or an export is running.
    bool loading() const { return worker_.joinable(); }

    // Selects record i (clamped to the records there are) and shows it.
    void select(std::size_t i);
    std::size_t selected() const { return selected_; }
    const record_reader& records() const { return *records_; }

    void A_ReloadExecute();
    void A_ExportCSVExecute();

    QString path;

    PlotWidget* Plot2; // the 60 counts of the selected record
    PlotWidget* Plot1; // the bioluminescence of every record
    QLabel* L_Time;
    QLabel* L_Record;
    QLabel* L_Serial;
    QLabel* L_CalCoeff;
    QLabel* L_PumpRPM;
    QLabel* L_FlowRPM;
    QLabel* L_PMTvoltage;
    QLabel* L_HVControl;
    QLabel* L_AveBL;
    QLabel* L_Raw;
    QLabel* L_Summary;
    QProgressBar* PB_Load;
    QPushButton* B_Cancel;
    QAction* A_Reload;
    QAction* A_ExportCSV;
    QAction* A_Close;
    QAction* A_WholeRun;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Runs work on the worker thread with the progress bar shown, then done
    // on the window's thread.
    void start_work(std::function<void()> work, void (TF_RecordView::*done)());
    void finish_load();
    void finish_export();
    void show_progress();
    void add_points();
    void show_summary();
    // The record whose point lies nearest to X value x.
    std::size_t nearest(double x) const;

    std::unique_ptr<record_reader> records_;
    std::thread worker_;
    std::atomic<bool> cancel_{false};
    std::atomic<std::uint64_t> done_{0}, total_{0};
    std::exception_ptr error_;
    bool finished_ = false; // the last load reached the end of the file
    bool loaded_once_ = false;
    QString export_path_;
    bool export_ok_ = false;
    QTimer* progress_timer_;

    // Chart X of the records: seconds from the first, from the time stamps
    // where there are any, else one a second.
    std::size_t plotted_ = 0;
    std::uint64_t restarts_ = 0;
    double last_x_ = -1;
    bool have_base_ = false;
    std::int64_t base_ = 0;
    std::size_t selected_ = 0;
    // A press on the lower chart: a click selects where it was released, a
    // drag pans the chart instead.
    bool clicking_ = false;
    QPoint press_at_;
};

// Opens a window on the record file; it closes itself, after telling why,
// when the file cannot be read.
TF_RecordView* open_record_view(const QString& path);
