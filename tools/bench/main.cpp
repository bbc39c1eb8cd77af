// tessary32-bench: the utility's costs as paired ratios against bare Qt baselines. Every figure
// comes from a process of its own; each pair runs the utility and its baseline one after the
// other (in alternating order), so that a busy machine slows both alike.
//
//   tessary32-bench [--pairs N] [--seconds S] [--repaints R] [--sim-interfaces N]
#include "Subjects.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <iomanip>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Options {
    int pairs = 10;
    double seconds = 2.0;
    int repaints = 200;
    int simInterfaces = 2000;
    int simTicks = 5;
};

struct Run {
    std::vector<double> values; // what the process printed
    double peakKiB = 0;
};

Run runChild(const std::vector<std::string>& args) {
    int out[2];
    if (::pipe(out) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDERR_FILENO);
        ::close(out[0]);
        ::close(out[1]);
        std::vector<char*> argv{const_cast<char*>("tessary32-bench"), const_cast<char*>("--child")};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv("/proc/self/exe", argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = ::read(out[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<std::size_t>(got));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("measuring process failed: " + args.front());
    Run run;
    std::istringstream values(text);
    for (double value; values >> value;)
        run.values.push_back(value);
    if (run.values.empty())
        throw std::runtime_error("measuring process printed nothing: " + args.front());
    run.peakKiB = static_cast<double>(usage.ru_maxrss);
    return run;
}

struct Summary {
    double min, median, max;
};

Summary summarise(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {values.front(), median, values.back()};
}

// One row: the utility's and the baseline's figure of each pair.
struct Row {
    std::string measure;
    std::string unit;
    std::string baseline;
    std::vector<double> utility;
    std::vector<double> base;
    std::vector<double> ratios;
    void add(double u, double b) {
        utility.push_back(u);
        base.push_back(b);
        ratios.push_back(b > 0 ? u / b : 0);
    }
};

std::string figure(double value, const std::string& unit) {
    std::ostringstream out;
    out << std::fixed
        << std::setprecision(value < 10    ? 2
                             : value < 100 ? 1
                                           : 0)
        << value << ' ' << unit;
    return out.str();
}

void print(const std::vector<Row>& rows) {
    std::cout << "| Measure | Utility (median) | Baseline | Baseline (median) | Ratio min | "
                 "Ratio median | Ratio max |\n|---|---|---|---|---|---|---|\n";
    for (const Row& row : rows) {
        const Summary ratio = summarise(row.ratios);
        std::cout << std::fixed << std::setprecision(2) << "| " << row.measure << " | "
                  << figure(summarise(row.utility).median, row.unit) << " | " << row.baseline
                  << " | " << figure(summarise(row.base).median, row.unit) << " | " << ratio.min
                  << "x | " << ratio.median << "x | " << ratio.max << "x |\n";
    }
}

// Runs a, then b (b first in every other pair), and returns both.
std::pair<Run, Run> pair(int index, const std::vector<std::string>& a,
                         const std::vector<std::string>& b) {
    if (index % 2 == 0) {
        Run first = runChild(a);
        return {first, runChild(b)};
    }
    Run second = runChild(b);
    return {runChild(a), second};
}

Options parse(int argc, char* argv[]) {
    Options options;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const double value = std::atof(argv[i + 1]);
        if (name == "--pairs")
            options.pairs = std::max(1, static_cast<int>(value));
        else if (name == "--seconds")
            options.seconds = std::max(0.05, value);
        else if (name == "--repaints")
            options.repaints = std::max(1, static_cast<int>(value));
        else if (name == "--sim-interfaces")
            options.simInterfaces = std::max(1, static_cast<int>(value));
        else
            throw std::runtime_error("unknown option " + name);
    }
    return options;
}

int child(int argc, char* argv[]) {
    const std::string what = argv[2];
    const auto arg = [&](int i) { return std::string(i < argc ? argv[i] : ""); };
    if (what == "census") {
        std::cout << bench::census();
        return 0;
    }
    if (what == "paint")
        return bench::firstPaint(arg(3), arg(4));
    if (what == "repaint")
        return bench::repaint(arg(3), arg(4), std::atoi(arg(5).c_str()));
    if (what == "ticks")
        return bench::ticks(arg(3), arg(4), std::atof(arg(5).c_str()));
    if (what == "sim-search")
        return bench::simulatedSearch(std::atoi(arg(3).c_str()), std::atoi(arg(4).c_str()));
    return 2;
}

std::string censusFile() {
    char path[] = "/tmp/tessary32-bench-XXXXXX";
    const int fd = ::mkstemp(path);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    ::close(fd);
    const std::string file = path;
    FILE* out = std::fopen(file.c_str(), "w");
    // The census runs in a process of its own too; its output is the form's description.
    const int saved = ::dup(STDOUT_FILENO);
    std::fflush(stdout);
    ::dup2(::fileno(out), STDOUT_FILENO);
    const pid_t pid = ::fork();
    if (pid == 0) {
        char* argv[] = {const_cast<char*>("tessary32-bench"), const_cast<char*>("--child"),
                        const_cast<char*>("census"), nullptr};
        ::execv("/proc/self/exe", argv);
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::dup2(saved, STDOUT_FILENO);
    ::close(saved);
    std::fclose(out);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("census failed");
    return file;
}

double perTick(const Run& run) {
    return run.values.at(1) > 0 ? run.values.at(0) / run.values.at(1) / 1000 : 0; // µs
}

double coreShare(const Run& run) {
    return run.values.at(2) > 0 ? 100 * run.values.at(0) / run.values.at(2) : 0;
}

} // namespace

int main(int argc, char* argv[]) {
    try {
        if (argc > 2 && std::string(argv[1]) == "--child")
            return child(argc, argv);
        const Options options = parse(argc, argv);
        const std::string census = censusFile();
        const std::string seconds = std::to_string(options.seconds);
        const std::string repaints = std::to_string(options.repaints);

        Row paint{"Start to first paint, no board", "ms", "bare form", {}, {}, {}};
        Row loaded{"Start to board loaded, one simulated board", "ms", "bare form", {}, {}, {}};
        Row repaint{"Repaint of the whole window", "µs", "bare form", {}, {}, {}};
        Row rssForm{"Peak RSS, board loaded", "MiB", "bare form", {}, {}, {}};
        Row rssEmpty{"Peak RSS, board loaded", "MiB", "empty window", {}, {}, {}};
        Row attached{
            "Attached: CPU per tick (500 ms)", "µs", "empty window, 500 ms timer", {}, {}, {}};
        Row attachedCore{
            "Attached: share of one core", "%", "empty window, 500 ms timer", {}, {}, {}};
        Row searching{"Searching, 20 other hidraw devices: CPU per tick (50 ms)",
                      "µs",
                      "empty window, 50 ms timer",
                      {},
                      {},
                      {}};
        Row windowAlone{"Searching, no HID devices at all: CPU per tick (50 ms)",
                        "µs",
                        "empty window, 50 ms timer",
                        {},
                        {},
                        {}};
        Row searchingCore{"Searching, 20 other hidraw devices: share of one core",
                          "%",
                          "empty window, 50 ms timer",
                          {},
                          {},
                          {}};
        for (int i = 0; i < options.pairs; ++i) {
            const auto [u, f] = pair(i, {"paint", "utility", census}, {"paint", "form", census});
            paint.add(u.values[0] / 1e6, f.values[0] / 1e6);
            const auto [b, f2] =
                pair(i, {"paint", "utility-board", census}, {"paint", "form", census});
            loaded.add(b.values[0] / 1e6, f2.values[0] / 1e6);
            rssForm.add(b.peakKiB / 1024, f2.peakKiB / 1024);
            const auto [r, rf] = pair(i, {"repaint", "utility-board", census, repaints},
                                      {"repaint", "form", census, repaints});
            repaint.add(r.values[0] / 1e3, rf.values[0] / 1e3);
            const auto [a, w500] = pair(i, {"ticks", "attached", census, seconds},
                                        {"ticks", "window-500", census, seconds});
            attached.add(perTick(a), perTick(w500));
            attachedCore.add(coreShare(a), coreShare(w500));
            rssEmpty.add(b.peakKiB / 1024, w500.peakKiB / 1024);
            const auto [s, w50] = pair(i, {"ticks", "searching", census, seconds},
                                       {"ticks", "window-50", census, seconds});
            searching.add(perTick(s), perTick(w50));
            searchingCore.add(coreShare(s), coreShare(w50));
            const auto [alone, w50b] = pair(i, {"ticks", "utility", census, seconds},
                                            {"ticks", "window-50", census, seconds});
            windowAlone.add(perTick(alone), perTick(w50b));
            std::cerr << "pair " << i + 1 << " of " << options.pairs << " done\n";
        }
        ::unlink(census.c_str());
        print({paint, loaded, repaint, attached, attachedCore, searching, searchingCore,
               windowAlone, rssForm, rssEmpty});
        const Run sim = runChild({"sim-search", std::to_string(options.simInterfaces),
                                  std::to_string(options.simTicks)});
        std::cout << "\nSearching over " << options.simInterfaces
                  << " simulated interfaces: " << figure(sim.values[0] / 1e6, "ms")
                  << " per tick.\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "tessary32-bench: " << error.what() << '\n';
        return 1;
    }
}
