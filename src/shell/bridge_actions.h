#pragma once
// The three script functions that run the utility: what each asks the user
// for, the messages it shows, and the utility's arguments it builds.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class PickerKind { folder, file };

struct BridgeAction {
    std::string_view function_name;   // the name on the page's window object
    std::string_view action;          // the utility's --action
    std::string_view output_type;     // an extra option before the path, or empty
    std::string_view path_option;     // the option that carries the picked path
    PickerKind picker;
    std::string_view arguments_title; // message box title: missing or wrong arguments
    std::string_view address_title;   // message box title: empty address
    std::string_view selection_title; // message box title: nothing picked
};

struct MessageBoxText {
    std::string_view text;
    std::string_view title;
};

inline constexpr std::string_view app_version = "1.5.0";

// The action of a script function, or nullptr for any other name.
const BridgeAction* find_bridge_action(std::string_view function_name);

// Every script function name, in the order they are put on a page.
std::vector<std::string_view> bridge_function_names();

// The message that refuses a call before any picker, or nothing when the call
// may go on. address is absent when the first argument is missing or is not a
// string.
std::optional<MessageBoxText> refuse_call(const BridgeAction& action, const std::optional<std::string>& address);

MessageBoxText nothing_picked(const BridgeAction& action);

// The utility's arguments, one element each, never joined into one text: an
// address or path holding blanks, quotes or shell characters arrives intact.
std::vector<std::string> utility_arguments(const BridgeAction& action, const std::string& address,
                                           const std::string& path);
