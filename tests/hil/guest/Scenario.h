// One scenario of the hardware-in-the-loop run: its checks, and one line at the end,
// "PASS name" or "FAIL name: what went wrong; ...".
#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace hil {

class Scenario {
public:
    explicit Scenario(std::string name) : name_(std::move(name)) {}

    bool check(bool ok, const std::string& what) {
        if (!ok)
            failures_.push_back(what);
        return ok;
    }

    template <typename Actual, typename Expected>
    bool expectEqual(const Actual& actual, const Expected& expected, const std::string& what) {
        if (actual == expected)
            return true;
        std::ostringstream text;
        text << what << " is " << printable(actual) << ", expected " << printable(expected);
        failures_.push_back(text.str());
        return false;
    }

    // A remark printed after the scenario's line; it does not decide the outcome.
    void note(const std::string& text) { notes_.push_back(text); }
    void fail(const std::string& what) { failures_.push_back(what); }
    bool passed() const { return failures_.empty(); }

    void report() const {
        std::string line = (passed() ? "PASS " : "FAIL ") + name_;
        for (std::size_t i = 0; i < failures_.size(); ++i)
            line += (i == 0 ? ": " : "; ") + failures_[i];
        std::printf("%s\n", line.c_str());
        for (const std::string& text : notes_)
            std::printf("NOTE %s: %s\n", name_.c_str(), text.c_str());
        std::fflush(stdout);
    }

private:
    template <typename T> static auto printable(const T& value) {
        if constexpr (std::is_integral_v<T> && sizeof(T) <= 2)
            return static_cast<int>(value); // bytes and 16-bit values as numbers
        else
            return value;
    }

    std::string name_;
    std::vector<std::string> failures_;
    std::vector<std::string> notes_;
};

} // namespace hil
