#include "windows_fixture.h"

#include "app/record_view.h"
#include "chart/plot_map.h"
#include "chart/plot_widget.h"
#include "link/csv_export.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QTest>
#include <QWheelEvent>

#include <memory>

namespace {

using record_view = windows_test;

// A line whose header values and counts follow k, so each record is told apart.
std::string line_k(unsigned k) {
    char head[256];
    std::snprintf(head, sizeof head, "QELM%u,%u,1.25e-05,%u,1500,5.01,1200,0.5,0.5,-1,", k, k,
                  1000 * k);
    std::string line = head;
    for (int j = 0; j < 60; ++j)
        line += (j ? "," : "") + std::to_string(k * 100 + unsigned(j));
    return line + "\r";
}

std::string stamp(int second) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "2026-12-10,04:31:%02d,", second);
    return buf;
}

void wait_loaded(TF_RecordView& v) {
    for (int i = 0; i < 5000 && v.loading(); ++i)
        QTest::qWait(2);
    // The end of the load is handed to the window through its event queue.
    QCoreApplication::processEvents();
    ASSERT_FALSE(v.loading());
}

// The point of the lower chart's plot area where X value x is drawn, in the
// view the chart shows now.
QPoint chart_point(PlotWidget& w, double x) {
    w.update_view();
    const QRect area = plot_painter::layout(w.plot(), w.rect(), w.font()).plot_area;
    return {area.left() + plot_map(w.plot().GetXAxis(0), area.width()).pixel_of(x),
            area.center().y()};
}

void send_mouse(PlotWidget& w, QEvent::Type type, QPoint at, Qt::MouseButtons held) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w.mapToGlobal(at), button, held, {});
    QCoreApplication::sendEvent(&w, &e);
}

std::vector<std::string> header_texts(const TF_RecordView& v) {
    std::vector<std::string> t;
    for (const QLabel* l : {v.L_Time, v.L_Record, v.L_Serial, v.L_CalCoeff, v.L_PumpRPM,
                            v.L_FlowRPM, v.L_PMTvoltage, v.L_HVControl, v.L_AveBL, v.L_Raw})
        t.push_back(l->text().toStdString());
    return t;
}

TEST_F(record_view, shows_a_known_file_and_selects_by_key_and_click) {
    temp_dir dir;
    const std::string path = dir.file("qelm003_20261210043130.dat");
    // Three stamped records, a bad line, and a raw record after a switch of the format.
    write_file(path, stamp(30) + line_k(1) + stamp(31) + line_k(2) + "QELM7,bad\r" + stamp(40) +
                         line_k(3) + line_k(4));
    TF_RecordView v(QString::fromStdString(path));
    v.resize(1000, 700);
    v.show();
    v.load();
    wait_loaded(v);

    EXPECT_EQ(v.windowTitle(), "qelm003_20261210043130.dat");
    EXPECT_EQ(v.L_Summary->text(), "4 records, 1 bad line, from 2026-12-10 04:31:30 to "
                                   "2026-12-10 04:31:40, duration 00:00:11");
    EXPECT_EQ(header_texts(v),
              (std::vector<std::string>{"Time: 2026-12-10 04:31:30", "Record 1 of 4, line 1",
                                        "Serial Number: 001", "Calibration Coefficient: 1.25e-05",
                                        "Pump RPM: 1500", "Flow RPM: 1200",
                                        "PMT Input Voltage: 5.01", "PMT Control Voltage: 0.500",
                                        "Average Bioluminescence: 1.00e+03", "Raw counts: 100"}));
    // Below: a point a record at its second from the start, the raw one a
    // second after the one before it.
    const PlotChannel& bl = v.Plot1->plot().GetChannel(1);
    ASSERT_EQ(bl.PointCount(), 4);
    const double xs[] = {0, 1, 10, 11};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(bl.PointX(i), xs[i]) << i;
        EXPECT_EQ(bl.PointY(i), 1000.0 * (i + 1)) << i;
    }
    // Above: the 60 counts of the selected record.
    const PlotChannel& raw = v.Plot2->plot().GetChannel(0);
    ASSERT_EQ(raw.PointCount(), 60);
    EXPECT_EQ(raw.PointY(59), 159);

    QTest::keyClick(&v, Qt::Key_End);
    EXPECT_EQ(v.L_Time->text(), "Time: not stamped");
    EXPECT_EQ(v.L_Record->text(), "Record 4 of 4, line 5");
    EXPECT_EQ(raw.PointY(0), 400);
    QTest::keyClick(&v, Qt::Key_Left);
    EXPECT_EQ(v.selected(), 2u);
    EXPECT_EQ(v.L_Serial->text(), "Serial Number: 003");
    QTest::keyClick(&v, Qt::Key_Right);
    QTest::keyClick(&v, Qt::Key_Right); // past the last: stays
    EXPECT_EQ(v.selected(), 3u);

    // A click on the lower chart selects the record nearest in time.
    const auto px = [&](double value) { return chart_point(*v.Plot1, value); };
    QTest::mouseClick(v.Plot1, Qt::LeftButton, {}, px(1.3));
    EXPECT_EQ(v.selected(), 1u);
    EXPECT_EQ(v.L_Time->text(), "Time: 2026-12-10 04:31:31");
    QTest::mouseClick(v.Plot1, Qt::LeftButton, {}, px(9));
    EXPECT_EQ(v.selected(), 2u);
    const PlotChannel& mark = v.Plot1->plot().GetChannel(2);
    ASSERT_EQ(mark.PointCount(), 1);
    EXPECT_EQ(mark.PointX(0), 10);

    // Reload reads what the file gained, a line that was unfinished included.
    write_file(path, read_file(path) + stamp(50) + line_k(5) + stamp(51) + "QELM5,1");
    v.A_Reload->trigger();
    wait_loaded(v);
    EXPECT_EQ(v.L_Summary->text(), "5 records, 1 bad line, from 2026-12-10 04:31:30 to "
                                   "2026-12-10 04:31:50, duration 00:00:20");
    EXPECT_EQ(bl.PointCount(), 5);
    EXPECT_EQ(v.selected(), 2u);

    // Export as CSV writes what marev-export writes, on the worker thread.
    prompts.save_answers.push_back(QString::fromStdString(dir.file("out.csv")));
    v.A_ExportCSV->trigger();
    wait_loaded(v);
    ASSERT_EQ(prompts.save_requests.size(), 1u);
    EXPECT_EQ(prompts.save_requests[0], "qelm003_20261210043130.csv");
    std::string expected = csv_header();
    append_csv_rows(expected, v.records(), "qelm003_20261210043130.dat", 0, 5);
    EXPECT_EQ(read_file(dir.file("out.csv")), expected);
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(record_view, the_lower_chart_zooms_pans_and_returns_to_the_whole_run) {
    temp_dir dir;
    const std::string path = dir.file("run.dat");
    std::string content;
    for (unsigned k = 1; k <= 100; ++k) // raw entries: X 0 to 99
        content += line_k(k);
    write_file(path, content);
    TF_RecordView v(QString::fromStdString(path));
    v.resize(1000, 700);
    v.show();
    v.load();
    wait_loaded(v);
    PlotWidget& chart = *v.Plot1;
    const PlotXAxis& x = chart.plot().GetXAxis(0);
    const auto whole_run_in_view = [&] {
        chart.update_view();
        EXPECT_EQ(chart.view(), plot_view::whole_run);
        EXPECT_TRUE(v.A_WholeRun->isChecked());
        EXPECT_LE(x.Min(), 0);
        EXPECT_GE(x.Max(), 99);
        EXPECT_LT(x.Span(), 110);
    };
    whole_run_in_view();
    EXPECT_EQ(v.A_WholeRun->text(), "Show Whole Run");
    EXPECT_EQ(v.A_WholeRun->shortcut(), QKeySequence(Qt::Key_F7));

    // A wheel notch zooms in around the pointer: the value under it stays put.
    const double span = x.Span();
    const QPoint at = chart_point(chart, 30);
    QWheelEvent wheel(at, chart.mapToGlobal(at), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase,
                      false);
    QCoreApplication::sendEvent(&chart, &wheel);
    EXPECT_EQ(chart.view(), plot_view::paused);
    EXPECT_FALSE(v.A_WholeRun->isChecked());
    EXPECT_EQ(chart.paused_hint(), "Paused: double-click to show the whole run");
    EXPECT_NEAR(x.Span(), span * 0.8, 1e-9 * span);
    EXPECT_NEAR(chart_point(chart, 30).x(), at.x(), 1);

    // A drag pans to earlier times and leaves the selection where it was.
    v.select(5);
    const double min = x.Min();
    const QPoint from = chart_point(chart, 50);
    send_mouse(chart, QEvent::MouseButtonPress, from, Qt::LeftButton);
    for (int dx : {2, 20, 60})
        send_mouse(chart, QEvent::MouseMove, from + QPoint(dx, 0), Qt::LeftButton);
    send_mouse(chart, QEvent::MouseButtonRelease, from + QPoint(60, 0), {});
    EXPECT_LT(x.Min(), min);
    EXPECT_NEAR(chart_point(chart, 50).x(), from.x() + 60, 1);
    EXPECT_EQ(v.selected(), 5u);

    // A click (a press that barely moves) selects the record nearest in time.
    const QPoint click = chart_point(chart, 40.2);
    send_mouse(chart, QEvent::MouseButtonPress, click, Qt::LeftButton);
    send_mouse(chart, QEvent::MouseMove, click + QPoint(1, 0), Qt::LeftButton);
    send_mouse(chart, QEvent::MouseButtonRelease, click + QPoint(1, 0), {});
    EXPECT_EQ(v.selected(), 40u);
    EXPECT_EQ(chart.view(), plot_view::paused);

    // A double-click returns to the whole run and selects nothing; the point
    // under the pointer is shown.
    const QPoint twice = chart_point(chart, 70);
    QTest::mouseDClick(&chart, Qt::LeftButton, {}, twice);
    whole_run_in_view();
    EXPECT_EQ(v.selected(), 40u);
    EXPECT_FALSE(chart.hover_text().isEmpty());

    // So do F7 and a reload, from a zoomed view.
    for (QAction* back : {v.A_WholeRun, v.A_Reload}) {
        chart.zoom_x(0.5, 0.5);
        ASSERT_EQ(chart.view(), plot_view::paused);
        back->trigger();
        wait_loaded(v);
        whole_run_in_view();
    }
}

TEST_F(record_view, a_file_that_is_not_a_record_file_is_named_and_its_window_closes) {
    temp_dir dir;
    const std::string path = dir.file("notes.txt");
    write_file(path, "Dear colleague,\nthe files are attached.\n");
    QPointer<TF_RecordView> v = open_record_view(QString::fromStdString(path));
    wait_loaded(*v);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(v.isNull());
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Not a record file: notes.txt");
    EXPECT_EQ(prompts.messages[0].caption, "Open Record File");
}

TEST_F(record_view, the_file_menu_and_a_cancelled_load) {
    create_windows();
    temp_dir dir;
    // More than one block of the reader, so the load can stop between them.
    std::string content;
    unsigned n = 0;
    while (content.size() < 9'000'000)
        content += line_k(++n % 50 + 1);
    const std::string path = dir.file("big.dat");
    write_file(path, content);
    EXPECT_EQ(F_Main->A_OpenRecord->shortcut(), QKeySequence("Ctrl+O"));
    prompts.open_answers.push_back(QString::fromStdString(path));
    F_Main->A_OpenRecord->trigger();
    QPointer<TF_RecordView> v;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* view = dynamic_cast<TF_RecordView*>(w))
            v = view;
    ASSERT_FALSE(v.isNull());
    EXPECT_EQ(v->windowTitle(), "big.dat");
    EXPECT_FALSE(v->PB_Load->isHidden());
    v->cancel_load();
    wait_loaded(*v);
    EXPECT_TRUE(v->PB_Load->isHidden());
    EXPECT_LT(v->records().record_count() * 265, content.size());
    EXPECT_TRUE(v->L_Summary->text().endsWith(" (loading stopped)"))
        << v->L_Summary->text().toStdString();
    v->A_Reload->trigger(); // goes on where it stopped
    wait_loaded(*v);
    // Raw entries: a record a second.
    char summary[128];
    std::snprintf(summary, sizeof summary,
                  "%u records, 0 bad lines, no time stamps, duration %02u:%02u:%02u", n,
                  (n - 1) / 3600, (n - 1) / 60 % 60, (n - 1) % 60);
    EXPECT_EQ(v->L_Summary->text(), summary);
    EXPECT_EQ(v->records().bytes_read(), content.size());
    v->close();
}

} // namespace
