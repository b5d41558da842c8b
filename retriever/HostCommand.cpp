#include "HostCommand.h"

#include <stdexcept>

#include "Svcretriever.h"

namespace hvn::retriever {

namespace {

bool sameLetters(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// Fills "%0:s" and "%1:s" in a host message pattern.
std::string format(std::string_view pattern, std::string_view arg0, std::string_view arg1)
{
    std::string out;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const std::string_view rest = pattern.substr(i);
        if (rest.starts_with("%0:s")) {
            out += arg0;
            i += 3;
        } else if (rest.starts_with("%1:s")) {
            out += arg1;
            i += 3;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string_view operationWord(ServiceOperation operation)
{
    switch (operation) {
    case ServiceOperation::Start:
        return "開始";
    case ServiceOperation::Run:
        return "実行";
    case ServiceOperation::Stop:
        return "停止";
    case ServiceOperation::Pause:
        return "一時停止";
    case ServiceOperation::Continue:
        return "続行";
    case ServiceOperation::Interrogate:
        return "との対話";
    case ServiceOperation::Shutdown:
        break;
    }
    return "シャットダウン";
}

} // namespace

HostCommand parseHostCommand(const std::vector<std::string> &arguments)
{
    HostCommand command;
    bool install = false;
    bool uninstall = false;
    for (const std::string &argument : arguments) {
        const std::string_view name = std::string_view(argument).substr(argument.empty() ? 0 : 1);
        const bool isSwitch = !argument.empty() && (argument[0] == '/' || argument[0] == '-');
        if (isSwitch && sameLetters(name, "INSTALL"))
            install = true;
        else if (isSwitch && sameLetters(name, "UNINSTALL"))
            uninstall = true;
        else if (isSwitch && sameLetters(name, "SILENT"))
            command.silent = true;
        else
            throw std::invalid_argument("unknown argument \"" + argument + "\"");
    }
    if (install && uninstall)
        throw std::invalid_argument("INSTALL and UNINSTALL cannot be given together");
    command.action = install ? HostAction::Install : uninstall ? HostAction::Uninstall : HostAction::Run;
    return command;
}

std::string installFailedMessage(std::string_view errorText)
{
    return format("\"%1:s\" : サービス \"%0:s\" の登録は失敗しました。", TRetriever::DisplayName, errorText);
}

std::string uninstallFailedMessage(std::string_view errorText)
{
    return format("\"%1:s\" : サービス \"%0:s\" の登録解除に失敗しました。", TRetriever::DisplayName,
                  errorText);
}

std::string serviceFailureEntry(ServiceOperation operation, std::string_view errorText)
{
    return format("サービス失敗 %0:s: %1:s", operationWord(operation), errorText);
}

} // namespace hvn::retriever
