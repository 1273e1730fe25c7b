#pragma once

#include <QString>

namespace vellumo {

// Attribute filter bits of a file search; 0 matches normal files only.
namespace FileAttr {
constexpr int Normal = 0;
constexpr int Hidden = 2;
constexpr int Directory = 16;
} // namespace FileAttr

// Paths from the registry use '\'. Where the system separates with '/', '\' is a separator too,
// so a folder from there joined with "\NAME.EXE" names a file.
QString systemPath(const QString &path);

class FileSearch {
public:
    virtual ~FileSearch() = default;
    // The name of the file at `path` if it passes the filter: normal files always, hidden files
    // and folders only with their bits. Empty text when there is none. A path that cannot be
    // searched throws vellumo::Failure.
    virtual QString find(const QString &path, int attributes) = 0;
};

class DiskFileSearch final : public FileSearch {
public:
    QString find(const QString &path, int attributes) override;
};

} // namespace vellumo
