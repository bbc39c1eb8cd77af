// The subcommands. Each add function registers one subcommand with its options; when the user
// picks it, the parse sets runner to run it.
#pragma once

#include "CliContext.h"

#include <functional>

namespace CLI {
class App;
}

namespace cli {

using Runner = std::function<int(Context&)>;
using AddCommand = void (*)(CLI::App& app, Runner& runner);

void addList(CLI::App& app, Runner& runner);
void addShow(CLI::App& app, Runner& runner);
void addSet(CLI::App& app, Runner& runner);
void addSelfTest(CLI::App& app, Runner& runner);
void addSave(CLI::App& app, Runner& runner);
void addRestore(CLI::App& app, Runner& runner);
void addMonitor(CLI::App& app, Runner& runner); // MonitorCommand.cpp
void addCheck(CLI::App& app, Runner& runner);   // CheckCommand.cpp
void addProvision(CLI::App& app, Runner& runner); // ProvisionCommand.cpp
void addReport(CLI::App& app, Runner& runner);    // ReportCommand.cpp

// show --inputs, and with csv as CSV (InputsCommand.cpp).
int runShowInputs(Context& context, bool csv);

} // namespace cli
