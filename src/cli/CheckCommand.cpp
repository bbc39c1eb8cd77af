// tessary32 check: watches the board's inputs for a while, then tells what looks wrongly wired:
// an input stuck down, one that chatters, an encoder on a pair still set to "off", and the
// inputs that never changed.
#include "BoardChoice.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "MonitorText.h"
#include "SettingText.h"
#include "Watching.h"
#include "WiringCheck.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>

namespace cli {

namespace {

struct CheckOptions {
    int seconds = 30;
    monitor::CheckThresholds thresholds;
};

std::string pairName(int pair) {
    return inputName(2 * pair) + " " + inputName(2 * pair + 1);
}

std::string pairKey(int pair) {
    return keyOf(config::Setting::encoder(pair + 1));
}

std::string findingText(const monitor::Finding& finding, const std::string& serial,
                        std::int64_t chatterMs) {
    using Kind = monitor::Finding::Kind;
    switch (finding.kind) {
    case Kind::Stuck:
        return "stuck: " + inputName(finding.input) + " was down from the start and never let go";
    case Kind::Chatter:
        return "chatter: " + inputName(finding.input) + " changed " +
               std::to_string(finding.count) + " times within " + std::to_string(chatterMs) +
               " ms of its last change " + "(the shortest " + std::to_string(finding.shortestMs) +
               " ms)";
    case Kind::EncoderOff:
        return "encoder off: " + pairName(finding.pair) + " moved as an encoder (" +
               std::to_string(finding.count) + " steps in a row) but is set to \"off\"; " +
               "tessary32 --serial " + serial + " set " + pairKey(finding.pair) + "=1:1";
    case Kind::Silent:
        return "silent: " + inputNames(finding.inputs) + " never changed";
    }
    return {};
}

std::string findingJson(const monitor::Finding& finding) {
    using Kind = monitor::Finding::Kind;
    nlohmann::ordered_json object;
    switch (finding.kind) {
    case Kind::Stuck:
        object = {{"finding", "stuck"}, {"input", inputName(finding.input)}};
        break;
    case Kind::Chatter:
        object = {{"finding", "chatter"},
                  {"input", inputName(finding.input)},
                  {"bounces", finding.count},
                  {"shortest_ms", finding.shortestMs}};
        break;
    case Kind::EncoderOff:
        object = {{"finding", "encoder_off"},
                  {"pair", pairName(finding.pair)},
                  {"steps", finding.count},
                  {"set", pairKey(finding.pair) + "=1:1"}};
        break;
    case Kind::Silent:
        object = {{"finding", "silent"},
                  {"inputs", nlohmann::json::parse(jsonInputNames(finding.inputs))}};
        break;
    }
    return object.dump();
}

std::array<bool, monitor::kPairs> encoderPairs(const monitor::MonitorOptions& options) {
    std::array<bool, monitor::kPairs> encoders{};
    for (std::size_t pair = 0; pair < encoders.size(); ++pair)
        encoders[pair] = options.pairModes[pair] != "off";
    return encoders;
}

int runCheck(Context& context, const CheckOptions& check) {
    ChosenBoard board(context);
    monitor::MonitorOptions options;
    if (const int code = openToWatch(board, options); code != kOk)
        return code;
    const std::string name = watchedName(board);
    monitor::WiringCheck wiring(encoderPairs(options), check.thresholds);
    MonitorWriter messages(context.out, context.err, name, context.json);
    const monitor::MonitorIo io{clockOf(context), context.environment.stopRequested,
                                [&](const monitor::MonitorEvent& event) {
                                    wiring.take(event);
                                    if (!std::holds_alternative<monitor::InputChange>(event) &&
                                        !std::holds_alternative<monitor::EncoderTurn>(event))
                                        messages(event);
                                }};

    context.environment.catchInterrupt();
    context.err << "tessary32: checking the inputs of board " << name << " for " << check.seconds
                << " s: press every input, turn every encoder. Ctrl-C ends sooner." << std::endl;
    monitor::MonitorSession session(context.platform, monitoredBoard(board), options, io);
    if (!session.start())
        return kFailed;
    const std::int64_t end = io.nowMs() + std::int64_t{check.seconds} * 1000;
    for (std::int64_t now = io.nowMs(); now < end && !io.stopRequested(); now = io.nowMs()) {
        const auto wait =
            static_cast<std::uint32_t>(std::min<std::int64_t>(end - now, monitor::kLongestWaitMs));
        if (session.step(wait) == monitor::MonitorSession::Step::Ended)
            break;
    }
    session.finish();
    if (session.result().end != monitor::MonitorEnd::Stopped)
        return kFailed;

    const std::vector<monitor::Finding> findings = wiring.findings();
    for (const monitor::Finding& finding : findings)
        context.out << (context.json ? findingJson(finding)
                                     : findingText(finding, printable(board.listing.serial),
                                                   check.thresholds.chatterMs))
                    << '\n';
    if (findings.empty())
        context.err << "tessary32: nothing wrong found on board " << name << '\n';
    return findings.empty() ? kOk : kFailed;
}

} // namespace

void addCheck(CLI::App& app, Runner& runner) {
    auto options = std::make_shared<CheckOptions>();
    CLI::App* check = app.add_subcommand(
        "check", "Watches the board's inputs, then tells which are stuck, chatter, move as an "
                 "encoder on a pair set to off, or never changed");
    check->add_option("--seconds", options->seconds, "How long to watch (Ctrl-C ends sooner)")
        ->default_val(30)
        ->check(CLI::Range(1, 86400));
    check
        ->add_option("--chatter-ms", options->thresholds.chatterMs,
                     "A change this soon after the last one is a bounce")
        ->default_val(5)
        ->check(CLI::Range(1, 1000));
    check
        ->add_option("--chatter-count", options->thresholds.chatterCount,
                     "This many bounces of one input make it chatter")
        ->default_val(3)
        ->check(CLI::Range(1, 1000000));
    check->callback([&runner, options] {
        runner = [options](Context& context) { return runCheck(context, *options); };
    });
}

} // namespace cli
