// tessary32 show --inputs: for each input B1 to B32, the button a game sees: the Button usage
// the board's report descriptor gives it, the number Windows shows, and the key code the Linux
// kernel maps it to. As a table, JSON or CSV, for binding sheets.
#include "BoardChoice.h"
#include "Commands.h"
#include "ConsoleText.h"
#include "InputBindings.h"
#include "MonitorText.h"
#include "Watching.h"

#include <cstdio>
#include <nlohmann/json.hpp>

namespace cli {

namespace {

using Document = nlohmann::ordered_json;

template <typename Number> std::string numberText(const std::optional<Number>& number) {
    return number ? std::to_string(*number) : "-";
}

// "288 BTN_TRIGGER", as evtest shows a code.
std::string linuxText(const hid::InputBinding& binding) {
    if (!binding.evdevCode)
        return "-";
    const std::string name = hid::evdevCodeName(*binding.evdevCode);
    return std::to_string(*binding.evdevCode) + (name.empty() ? "" : " " + name);
}

template <typename Number> Document numberJson(const std::optional<Number>& number) {
    return number ? Document(*number) : Document();
}

void printTable(Context& context, const hid::InputBindings& bindings) {
    context.out << "input  button  windows  linux\n";
    for (const hid::InputBinding& binding : bindings.inputs) {
        char row[96];
        std::snprintf(row, sizeof row, "%-6s %-7s %-8s ", inputName(binding.input).c_str(),
                      numberText(binding.button).c_str(),
                      numberText(binding.windowsNumber).c_str());
        context.out << row << linuxText(binding) << '\n';
    }
}

void printCsv(Context& context, const hid::InputBindings& bindings) {
    context.out << "input,button,windows,linux_code,linux_name\n";
    for (const hid::InputBinding& binding : bindings.inputs) {
        const auto blank = [](const std::string& text) { return text == "-" ? "" : text; };
        context.out << inputName(binding.input) << ',' << blank(numberText(binding.button)) << ','
                    << blank(numberText(binding.windowsNumber)) << ','
                    << blank(numberText(binding.evdevCode)) << ','
                    << (binding.evdevCode ? hid::evdevCodeName(*binding.evdevCode) : "") << '\n';
    }
}

void printJson(Context& context, const ChosenBoard& board, const hid::InputBindings& bindings) {
    Document inputs = Document::array();
    for (const hid::InputBinding& binding : bindings.inputs) {
        const std::string name = binding.evdevCode ? hid::evdevCodeName(*binding.evdevCode) : "";
        inputs.push_back({{"input", inputName(binding.input)},
                          {"button", numberJson(binding.button)},
                          {"windows", numberJson(binding.windowsNumber)},
                          {"linux_code", numberJson(binding.evdevCode)},
                          {"linux_name", name.empty() ? Document() : Document(name)}});
    }
    const Document document{{"serial", latin1ToUtf8(board.listing.serial)}, {"inputs", inputs}};
    context.out << document.dump(2, ' ', true, Document::error_handler_t::replace) << '\n';
}

} // namespace

int runShowInputs(Context& context, bool csv) {
    ChosenBoard board(context);
    if (const int code = board.open(Access::Reads); code != kOk)
        return code;
    const monitor::MonitoredBoard handles = monitoredBoard(board);
    const hid::InputBindings bindings =
        hid::readInputBindings(context.platform, handles.featureHandle, handles.inputReportLength);
    if (!bindings.read)
        return fail(context, kFailed,
                    "cannot read the report descriptor of board " + watchedName(board));
    if (csv)
        printCsv(context, bindings);
    else if (context.json)
        printJson(context, board, bindings);
    else
        printTable(context, bindings);
    return kOk;
}

} // namespace cli
