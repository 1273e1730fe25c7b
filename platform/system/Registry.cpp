#include "platform/system/Registry.h"

#include <QByteArrayView>
#include <QFile>
#include <QStandardPaths>
#include <QString>
#include <algorithm>
#include <cstring>

namespace vellumo {

namespace {

// Key and value names are compared as the registry does, regardless of case.
bool sameName(const std::string &a, const char *b)
{
    return QByteArrayView(a).compare(b, Qt::CaseInsensitive) == 0;
}

std::string findOnSearchPath(const std::string &name)
{
    const QString found = QStandardPaths::findExecutable(QFile::decodeName(name.c_str()));
    return found.isEmpty() ? std::string() : QFile::encodeName(found).toStdString();
}

} // namespace

const std::vector<std::string> &StandInRegistry::desktopTools()
{
    static const std::vector<std::string> tools{"kinfocenter", "hardinfo2", "hardinfo", "cpu-x"};
    return tools;
}

StandInRegistry::StandInRegistry() : StandInRegistry(desktopTools(), findOnSearchPath) {}

StandInRegistry::StandInRegistry(std::vector<std::string> tools, Locate locate)
    : m_tools(std::move(tools)), m_locate(std::move(locate))
{
}

std::int32_t StandInRegistry::openKey(RegHandle root, const std::string &path,
                                      std::uint32_t /*options*/, std::uint32_t /*access*/,
                                      RegHandle &key)
{
    key = 0;
    if (root != rootHandle(kHkeyLocalMachine) || !sameName(path, kMsinfoKey))
        return kRegNotFound;
    for (const std::string &tool : m_tools) {
        std::string found = m_locate(tool);
        if (found.empty())
            continue;
        key = m_nextHandle++;
        m_open.emplace_back(key, std::move(found));
        return kRegSuccess;
    }
    return kRegNotFound;
}

std::int32_t StandInRegistry::queryValue(RegHandle key, const std::string &name,
                                         std::uint32_t &type, unsigned char *data,
                                         std::uint32_t &size)
{
    const auto open = std::find_if(m_open.begin(), m_open.end(),
                                   [key](const auto &entry) { return entry.first == key; });
    if (open == m_open.end())
        return kRegInvalidHandle;
    if (!sameName(name, kMsinfoPathValue))
        return kRegNotFound;
    // Stored as a text value is, with its terminating zero.
    const std::string &path = open->second;
    const std::size_t needed = path.size() + 1;
    const std::uint32_t capacity = size;
    size = static_cast<std::uint32_t>(needed);
    type = kRegSz;
    if (data == nullptr)
        return kRegSuccess;
    if (needed > capacity)
        return kRegMoreData;
    std::memcpy(data, path.c_str(), needed);
    return kRegSuccess;
}

std::int32_t StandInRegistry::closeKey(RegHandle key)
{
    const auto open = std::find_if(m_open.begin(), m_open.end(),
                                   [key](const auto &entry) { return entry.first == key; });
    if (open == m_open.end())
        return kRegInvalidHandle;
    m_open.erase(open);
    return kRegSuccess;
}

} // namespace vellumo
