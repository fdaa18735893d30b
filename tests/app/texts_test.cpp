// Every text the windows show before anything happens, on its named control:
// captions, label texts, tooltips, actions with their shortcuts, and the main
// menu's layout. A reworded text or a reordered menu fails here.

#include "windows_fixture.h"

#include "app/options_window.h"
#include "schedule/schedule_window.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QTabWidget>

#include <vector>

namespace {

using texts = windows_test;

QWidget* window_named(const char* name) {
    for (QWidget* w :
         std::initializer_list<QWidget*>{F_Main, F_Calibration, F_Terminal, F_Schedule, F_Options})
        if (w->objectName() == name)
            return w;
    return nullptr;
}

TEST_F(texts, every_control_shows_its_own_text_at_the_start) {
    create_windows();
    struct row {
        const char* window;
        const char* control; // nullptr: the window itself
        const char* property;
        const char* text;
    };
    const row rows[] = {
        {"F_Main", nullptr, "windowTitle", "Marev ;)"},
        {"F_Main", "Label12", "text", "Com Port"},
        {"F_Main", "Label4", "text", "Communication Status:"},
        {"F_Main", "L_CommStatus", "text", "Haven't even tried yet."},
        {"F_Main", "B_Connect", "text", "Connect To Instrument"},
        {"F_Main", "B_Connect", "toolTip",
         "Verify and establish communication with the instrument"},
        {"F_Main", "B_Record", "text", "Start Recording"},
        {"F_Main", "B_StopSchedule", "text", "Stop Scheduled Recording"},
        {"F_Main", "Label2", "text", "Information and statistics:"},
        {"F_Main", "B_PumpOn", "text", "Turn Pump On"},
        {"F_Main", "B_PumpOff", "text", "Turn Pump Off"},
        {"F_Main", "L_RecordingTo", "text", "Recording to:"},
        {"F_Main", "L_FileName", "text", ""},
        {"F_Main", "L_FileSize", "text", "Filesize"},
        {"F_Main", "L_TimeRecording", "text", "Time Recording"},
        {"F_Main", "L_Time", "text", "Time"},
        {"F_Main", "L_Serial", "text", "Instrument Serial  Number"},
        {"F_Main", "L_DataCounter", "text", "Data Counter (bad/total)"},
        {"F_Main", "L_CalCoeff", "text", "Current Calibration Coefficient"},
        {"F_Main", "L_PumpRPM", "text", "Pump RPM"},
        {"F_Main", "L_FlowRPM", "text", "Flow RPM"},
        {"F_Main", "L_PMTvoltage", "text", "PMT Voltage"},
        {"F_Main", "L_HVControl", "text", "PMT Control Voltage"},
        {"F_Main", "L_Raw", "text", "Raw count"},
        {"F_Main", "L_AveBL", "text", "Ave Bioluminescence"},
        {"F_Main", "L_PMTTooHigh", "text",
         "The PMT Control Voltage is out of range.  This indicates malfunctioning and it is "
         "recommended you call Quorvex for service."},
        {"F_Main", "E_PMTOff", "text", "PMT is turned off!"},

        {"F_Calibration", nullptr, "windowTitle", "Utilities"},
        {"F_Calibration", "B_StartVerifyCal", "text", "Start Calibration Procedure"},
        {"F_Calibration", "E_PrevCal", "text", "No Previous Calibration"},
        {"F_Calibration", "B_LoadCalibration", "text", "Load Calibration"},
        {"F_Calibration", "PD_HVStep", "currentText", "HV Step 1"},
        {"F_Calibration", "B_CalibrateHVStep", "text", "Calibrate HV Step 1"},
        {"F_Calibration", "L_ReadingTime", "text", "Reading for n seconds...."},
        {"F_Calibration", "L_HV1cal", "text", "HV Step 1:  Not yet calibrated"},
        {"F_Calibration", "L_HV2cal", "text", "HV Step 2:  Not yet calibrated"},
        {"F_Calibration", "L_HV3cal", "text", "HV Step 3:  Not yet calibrated"},
        {"F_Calibration", "L_HV1PrevCal", "text", "Previous Calibration: Not found."},
        {"F_Calibration", "L_HV2PrevCal", "text", "Previous Calibration: Not found."},
        {"F_Calibration", "L_HV3PrevCal", "text", "Previous Calibration: Not found."},
        {"F_Calibration", "B_SaveStopCal", "text", "Save and Stop Calibration"},
        {"F_Calibration", "L_PMT", "text", "PMT status: unknown"},
        {"F_Calibration", "L_Pump", "text", "Pump status: unknown"},
        {"F_Calibration", "L_Time", "text", "Time"},
        {"F_Calibration", "B_PMTOn", "text", "Turn PMT On"},
        {"F_Calibration", "B_PMTOff", "text", "Turn PMT Off"},
        {"F_Calibration", "B_PumpOn", "text", "Turn Pump On"},
        {"F_Calibration", "B_PumpOff", "text", "Turn Pump Off"},
        {"F_Calibration", "L_NoHistory", "text",
         "You have less than two points of calibration history; hence no plot."},
        {"F_Calibration", "Button6", "text", "P"},
        {"F_Calibration", "Button7", "text", "O"},
        {"F_Calibration", "Button8", "text", "L"},
        {"F_Calibration", "Button9", "text", "M"},
        {"F_Calibration", "Button10", "text", "1"},
        {"F_Calibration", "Button11", "text", "\\n"},
        {"F_Calibration", "Button12", "text", "n"},
        {"F_Calibration", "Button13", "text", "Enable Commands"},
        {"F_Calibration", "PD_PumpRate", "currentText", "PD_PumpRate"},

        {"F_Terminal", nullptr, "windowTitle", "Raw Output"},
        {"F_Terminal", "Label1", "text",
         "Type in this box to send commands to QELM.  Commands will not be echoed."},
        {"F_Terminal", "E_Send", "text", ""},

        {"F_Schedule", nullptr, "windowTitle", "Set Schedule"},
        {"F_Schedule", "Label1", "text", "Schedule recording times"},
        {"F_Schedule", "RB_Once", "text", "Schedule Single Sample"},
        {"F_Schedule", "RB_Reps", "text", "Schedule Repeating Samples"},
        {"F_Schedule", "Label2", "text", "Repeat "},
        {"F_Schedule", "E_Reps", "text", "1"},
        {"F_Schedule", "Label3", "text", "times"},
        {"F_Schedule", "RB_Forever", "text", "Schedule Continuously Repeating Samples"},
        {"F_Schedule", "Label4", "text", "Sample Length"},
        {"F_Schedule", "E_RunFor", "text", "1"},
        {"F_Schedule", "PD_TimeUnits", "currentText", "hours"},
        {"F_Schedule", "Label5", "text", "Save file location:"},
        {"F_Schedule", "B_ChooseDir", "text", "..."},
        {"F_Schedule", "Label6", "text", "Filenames will be automatically generated."},
        {"F_Schedule", "Label7", "text", "There will be some delay between samples."},
        {"F_Schedule", "Label8", "text", "Only the most recent sample will be held in memory."},
        {"F_Schedule", "L_IfSetNow", "text", "If you click \"Set Schedule\" now, it will stop at:"},
        {"F_Schedule", "L_TimeStopped", "text", "<time goes here>"},
        {"F_Schedule", "B_Cancel", "text", "Cancel"},
        {"F_Schedule", "B_SetSchedule", "text", "Set Schedule"},

        {"F_Options", nullptr, "windowTitle", "Options"},
        {"F_Options", "Label1", "text", "Files:"},
        {"F_Options", "Label2", "text",
         "File format:  You can either save the output as raw data, or with the computer "
         "timestamp and a few of the extra fields clipped out."},
        {"F_Options", "RadioButton1", "text", "Raw data"},
        {"F_Options", "RadioButton2", "text", "Raw data with time stamps"},
        {"F_Options", "Button1", "text", "Okay"},
    };
    for (const row& r : rows) {
        QWidget* w = window_named(r.window);
        ASSERT_NE(w, nullptr) << r.window;
        QObject* o = r.control ? w->findChild<QObject*>(r.control) : w;
        ASSERT_NE(o, nullptr) << r.window << " has no " << r.control;
        EXPECT_EQ(o->property(r.property).toString().toStdString(), r.text)
            << r.window << " " << (r.control ? r.control : "") << " " << r.property;
    }
}

TEST_F(texts, fixed_labels_without_a_name_read_as_quoted) {
    create_windows();
    const std::pair<QWidget*, const char*> rows[] = {
        {F_Calibration, "Procedure:"},
        {F_Calibration, "1) Remove top cap and attach light wand to QELM."},
        {F_Calibration, "2) Power on and allow time for device to warm up."},
        {F_Calibration,
         "3) Click \"Start Calibration Procedure\".  This sets the device up for calibrations."},
        {F_Calibration,
         "4) Choose high voltage step to verify and manually set device to that step."},
        {F_Calibration, "5) Collect data to compare to previous calibration."},
        {F_Calibration, "6) Repeat steps (4) and (5) for each high voltage step."},
        {F_Calibration,
         "See the QELM User's Guide for more detail on calbrating the QELM.  Do not attempt to "
         "calibrate the QELM without fully reading and understanding the QELM documentation and "
         "calibration procedure."},
        {F_Calibration, "Previous calibration"},
        {F_Calibration, "Set HV step to calibrate:"},
        {F_Calibration, "\"Save and Stop Calibration\" will not save if you  do not collect "
                        "calibrations for all three HV steps."},
    };
    for (const auto& [window, text] : rows) {
        bool found = false;
        for (const QLabel* l : window->findChildren<QLabel*>())
            found = found || l->text() == text;
        EXPECT_TRUE(found) << text;
    }

    const QTabWidget* pages = F_Calibration->PageControl1;
    ASSERT_EQ(pages->count(), 3);
    EXPECT_EQ(pages->tabText(0), "Verify Calibrations");
    EXPECT_EQ(pages->tabText(1), "Black Magic Goes Here");
    EXPECT_EQ(pages->tabText(2), "Calibration History");
    const QStringList steps = {"HV Step 1", "HV Step 2", "HV Step 3"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(F_Calibration->PD_HVStep->itemText(i), steps[i]);
    const QStringList rates = {"Slow", "Medium", "Fast"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(F_Calibration->PD_PumpRate->itemText(i), rates[i]);
    EXPECT_EQ(F_Schedule->PD_TimeUnits->itemText(0), "hours");
    EXPECT_EQ(F_Schedule->PD_TimeUnits->itemText(1), "minutes");
}

TEST_F(texts, the_main_menu_holds_each_action_in_its_place_with_its_shortcut) {
    create_windows();
    struct entry {
        const char* text; // "" for a separator
        QKeySequence key;
    };
    const std::pair<const char*, std::vector<entry>> menus[] = {
        {"&File",
         {{"Connect To Instrument", Qt::Key_F1},
          {"", {}},
          {"Start Recording", Qt::Key_F3},
          {"Stop Scheduled Recording", Qt::Key_F5},
          {"", {}},
          {"Open Record File...", QKeySequence("Ctrl+O")},
          {"", {}},
          {"E&xit", {}}}},
        {"Control Device",
         {{"Turn Pump Off", QKeySequence("Ctrl+Alt+S")},
          {"Turn Pump On", QKeySequence("Ctrl+Alt+G")},
          {"", {}},
          {"Turn PMT On", QKeySequence("Ctrl+Alt+O")},
          {"Turn PMT Off", QKeySequence("Ctrl+Alt+I")},
          {"", {}},
          {"Set Schedule...", Qt::Key_F6}}},
        {"Window",
         {{"Calibration Window", QKeySequence("Ctrl+Alt+C")},
          {"Terminal Output Window", QKeySequence("Ctrl+Alt+T")},
          {"Options...", {}}}},
        {"&Help", {{"&About...", {}}, {"", {}}, {"Help", {}}}},
    };
    // These menus in this order; a menu of another name may stand between them.
    const QList<QAction*> bar = F_Main->menuBar()->actions();
    qsizetype at = 0;
    for (const auto& [title, entries] : menus) {
        while (at < bar.size() && bar[at]->text() != title)
            ++at;
        ASSERT_LT(at, bar.size()) << title << " missing or out of order";
        const QMenu* menu = bar[at]->menu();
        ASSERT_NE(menu, nullptr) << title;
        const QList<QAction*> got = menu->actions();
        ASSERT_EQ(got.size(), qsizetype(entries.size())) << title;
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const QAction* a = got[qsizetype(i)];
            EXPECT_EQ(a->isSeparator(), *entries[i].text == '\0') << title << " " << i;
            EXPECT_EQ(a->text().toStdString(), entries[i].text) << title << " " << i;
            EXPECT_EQ(a->shortcut(), entries[i].key) << title << " " << entries[i].text;
        }
        ++at;
    }
    // The record and schedule entries wait for their moment; the others are offered.
    EXPECT_FALSE(F_Main->A_Record->isVisible());
    EXPECT_FALSE(F_Main->A_StopSchedule->isVisible());
    EXPECT_TRUE(F_Main->A_Connect->isVisible() && F_Main->A_Connect->isEnabled());
}

} // namespace
