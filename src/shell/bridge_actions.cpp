#include "shell/bridge_actions.h"

#include <array>

namespace {

constexpr std::array<BridgeAction, 3> actions{{
    {"native_actionBackup", "get_backup", "zip", "--backupfileout=", PickerKind::folder, "File Path", "Backup",
     "File Path"},
    {"native_actionRestore", "put_backup", "", "--backupfilein=", PickerKind::file, "Restore", "Restore", "Restore"},
    {"native_actionFirmwareUpgrade", "push_firmware", "", "--firmwarefile=", PickerKind::file, "Firmware Upgrade",
     "Firmware Upgrade", "Firmware Upgrade"},
}};

} // namespace

const BridgeAction* find_bridge_action(std::string_view function_name)
{
    for (const BridgeAction& action : actions)
        if (action.function_name == function_name)
            return &action;
    return nullptr;
}

std::vector<std::string_view> bridge_function_names()
{
    std::vector<std::string_view> names;
    for (const BridgeAction& action : actions)
        names.push_back(action.function_name);
    return names;
}

std::optional<MessageBoxText> refuse_call(const BridgeAction& action, const std::optional<std::string>& address)
{
    if (!address)
        return MessageBoxText{"Missing or wrong arguments.", action.arguments_title};
    if (address->empty())
        return MessageBoxText{"Missing IP address.", action.address_title};
    return std::nullopt;
}

MessageBoxText nothing_picked(const BridgeAction& action)
{
    // The file pickers say "folder" too: the text is the same for all three.
    return MessageBoxText{"No folder selected.", action.selection_title};
}

std::vector<std::string> utility_arguments(const BridgeAction& action, const std::string& address,
                                           const std::string& path)
{
    std::vector<std::string> arguments{"--action=" + std::string(action.action), "--ip=" + address};
    if (!action.output_type.empty())
        arguments.push_back("--backupfileouttype=" + std::string(action.output_type));
    arguments.push_back(std::string(action.path_option) + path);
    return arguments;
}
