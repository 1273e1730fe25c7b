#include "about/SysInfo.h"

#include "about/GetKeyValue.h"
#include "platform/FileSearch.h"
#include "platform/MessageBox.h"
#include "platform/ProgramStart.h"
#include "platform/Services.h"

#include <QString>
#include <exception>
#include <optional>

namespace vellumo {

namespace {

QString fromRegistry(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

// The path of the tool to start, or nothing when the registry leads to none.
std::optional<QString> findTool(const Services &services)
{
    std::string toolPath;
    // The tool's own entry is started as it stands, even when empty or naming no file: the
    // failed start then tells.
    if (GetKeyValue(*services.registry, kHkeyLocalMachine, kMsinfoKey, kMsinfoPathValue, toolPath))
        return fromRegistry(toolPath);
    if (!GetKeyValue(*services.registry, kHkeyLocalMachine, kSharedToolsKey,
                     kSharedToolsMsinfoValue, toolPath))
        return std::nullopt;
    const QString program = fromRegistry(toolPath) + QLatin1String(kMsinfoProgram);
    if (services.fileSearch->find(program, FileAttr::Normal).isEmpty())
        return std::nullopt;
    return program;
}

} // namespace

void StartSysInfo(const Services &services)
{
    try {
        if (const std::optional<QString> tool = findTool(services)) {
            services.programStart->start(*tool, ShowState::Normal);
            return;
        }
    } catch (const std::exception &) {
        // Every failure on the way ends in the same message.
    }
    services.messageBox->show(QString::fromLatin1(kSysInfoUnavailable), MsgStyle::OkOnly);
}

} // namespace vellumo
