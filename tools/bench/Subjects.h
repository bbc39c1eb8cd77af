// What one measuring process runs: the utility's window in one situation, or a baseline.
#pragma once

#include <string>

namespace bench {

// The window's controls, one line each, so that the bare form can build the same ones.
std::string census();

// Each runs in a process of its own and prints its figures on one line.
int firstPaint(const std::string& subject, const std::string& censusFile);
int repaint(const std::string& subject, const std::string& censusFile, int count);
int ticks(const std::string& subject, const std::string& censusFile, double seconds);
int simulatedSearch(int interfaces, int count);

} // namespace bench
