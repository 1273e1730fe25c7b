#pragma once

#include "about/frmAbout.h"
#include "app/SystemServices.h"
#include "platform/Failure.h"
#include "platform/system/FileSearch.h"
#include "platform/system/ProgramStart.h"
#include "platform/system/Registry.h"

#include <QFile>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace vellumo::test {

// A registry that answers from what the test stored, byte for byte, and logs every call:
//   open <root hex> <path> <options> <access hex>
//   query <handle> <name> <size in> <"zeroed" when the buffer was all zero>
//   close <handle>
class ScriptedRegistry : public RegistryLayer {
public:
    struct Value {
        std::uint32_t type = kRegSz;
        std::string bytes;
    };
    struct Key {
        std::map<std::string, Value> values;
        // Opening with more than these rights is refused with status 5, access denied.
        std::uint32_t allowedAccess = 0xFFFFFFFF;
        RegHandle handle = 0;
    };

    QStringList log;
    // What a failed open leaves in the handle.
    RegHandle failedOpenHandle = 0;
    // A query reports this size instead of the true one, when set.
    std::uint32_t reportedSize = 0;
    // The calls cannot be made at all, as when the library cannot be bound.
    bool unbound = false;

    Key &addKey(const std::string &path)
    {
        Key &k = m_keys[path];
        if (k.handle == 0)
            k.handle = 0x100 + RegHandle(m_keys.size());
        return k;
    }
    void setValue(const std::string &path, const std::string &name, std::uint32_t type,
                  const std::string &bytes)
    {
        addKey(path).values[name] = {type, bytes};
    }
    void setText(const std::string &path, const std::string &name, const std::string &text)
    {
        setValue(path, name, kRegSz, std::string(text.c_str(), text.size() + 1));
    }

    std::int32_t openKey(RegHandle root, const std::string &path, std::uint32_t options,
                         std::uint32_t access, RegHandle &handle) override
    {
        log << QStringLiteral("open %1 %2 %3 %4")
                   .arg(QString::number(root, 16), QString::fromStdString(path))
                   .arg(options)
                   .arg(QString::number(access, 16));
        if (unbound)
            throw Failure(QStringLiteral("advapi32 cannot be bound"));
        const auto k = m_keys.find(path);
        if (root != rootHandle(kHkeyLocalMachine) || k == m_keys.end()) {
            handle = failedOpenHandle;
            return kRegNotFound;
        }
        if (access & ~k->second.allowedAccess) {
            handle = failedOpenHandle;
            return 5;
        }
        handle = k->second.handle;
        return kRegSuccess;
    }

    std::int32_t queryValue(RegHandle handle, const std::string &name, std::uint32_t &type,
                            unsigned char *data, std::uint32_t &size) override
    {
        const bool zeroed = std::all_of(data, data + size, [](unsigned char b) { return b == 0; });
        log << QStringLiteral("query %1 %2 %3%4")
                   .arg(handle)
                   .arg(QString::fromStdString(name))
                   .arg(size)
                   .arg(zeroed ? QStringLiteral(" zeroed") : QString());
        const auto k = std::find_if(m_keys.begin(), m_keys.end(),
                                    [handle](const auto &e) { return e.second.handle == handle; });
        if (k == m_keys.end())
            return kRegInvalidHandle;
        const auto v = k->second.values.find(name);
        if (v == k->second.values.end())
            return kRegNotFound;
        const std::string &bytes = v->second.bytes;
        const std::uint32_t capacity = size;
        type = v->second.type;
        size = static_cast<std::uint32_t>(bytes.size());
        if (bytes.size() > capacity)
            return kRegMoreData;
        std::memcpy(data, bytes.data(), bytes.size());
        if (reportedSize != 0)
            size = reportedSize;
        return kRegSuccess;
    }

    std::int32_t closeKey(RegHandle handle) override
    {
        log << QStringLiteral("close %1").arg(handle);
        return kRegSuccess;
    }

private:
    std::map<std::string, Key> m_keys;
};

// Finds the files the test names, logging each search as "<path> <attributes>".
class ScriptedFileSearch : public FileSearch {
public:
    QSet<QString> files;
    QStringList searches;
    bool fails = false;

    QString find(const QString &path, int attributes) override
    {
        searches << QStringLiteral("%1 %2").arg(path).arg(attributes);
        if (fails)
            throw Failure(QStringLiteral("Cannot search for \"%1\"").arg(path));
        return files.contains(path) ? path.mid(path.lastIndexOf(QLatin1Char('\\')) + 1) : QString();
    }
};

// Starts the programs the test names; every other path fails as a real start would. Logs each
// attempt as "<path> <show state>".
class ScriptedProgramStart : public ProgramStart {
public:
    QSet<QString> programs;
    QStringList starts;

    void start(const QString &path, int showState) override
    {
        starts << QStringLiteral("%1 %2").arg(path).arg(showState);
        if (!programs.contains(path))
            throw Failure(QStringLiteral("Cannot start \"%1\": No such file").arg(path));
    }
};

// A shell script that only its owner may run, as a tool to start or find.
inline bool writeScript(const QString &path, const QByteArray &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body) != body.size() + 10)
        return false;
    f.close();
    return f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

// A tool that, once it runs, writes to `marker` how many arguments it was given.
inline bool writeArgumentCounter(const QString &path, const QString &marker)
{
    const QByteArray m = QFile::encodeName(marker);
    return writeScript(path, "echo \"$#\" > '" + m + ".part' && mv '" + m + ".part' '" + m + "'\n");
}

// The About dialog's System Info command, as its button runs it, with no window shown.
inline void runSysInfo(const Services &services, QWidget *owner = nullptr)
{
    frmAbout about(*services.messageBox, *services.registry, *services.fileSearch,
                   *services.programStart, owner);
    about.StartSysInfo();
}

} // namespace vellumo::test
