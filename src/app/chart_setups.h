#pragma once

#include "chart/plot.h"

// The program's charts as its windows set them up, on a fresh Plot.
// The main window's two: the last 60 raw counts above, the bioluminescence of
// the connection on a log axis below.
void setup_raw_counts_chart(Plot& plot);
void setup_bioluminescence_chart(Plot& plot);
// The calibration window's history: one channel a high-voltage step.
void setup_calibration_chart(Plot& plot);
