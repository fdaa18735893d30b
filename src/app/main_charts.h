#pragma once

#include "chart/plot.h"

// The main window's two charts as it sets them up: the last 60 raw counts
// above, the bioluminescence of the connection on a log axis below.
void setup_raw_counts_chart(Plot& plot);
void setup_bioluminescence_chart(Plot& plot);
