#include "about/SysInfo.h"

#include "about/GetKeyValue.h"
#include "platform/system/FileSearch.h"

namespace vellumo {

namespace {

QString fromRegistry(const std::string &text)
{
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

std::optional<QString> findSysInfoTool(RegistryLayer &registry, FileSearch &fileSearch)
{
    std::string toolPath;
    // The tool's own entry is started as it stands, even when empty or naming no file: the
    // failed start then tells.
    if (GetKeyValue(registry, kHkeyLocalMachine, kMsinfoKey, kMsinfoPathValue, toolPath))
        return fromRegistry(toolPath);
    if (!GetKeyValue(registry, kHkeyLocalMachine, kSharedToolsKey, kSharedToolsMsinfoValue,
                     toolPath))
        return std::nullopt;
    const QString program = fromRegistry(toolPath) + QLatin1String(kMsinfoProgram);
    if (fileSearch.find(program, FileAttr::Normal).isEmpty())
        return std::nullopt;
    return program;
}

} // namespace vellumo
