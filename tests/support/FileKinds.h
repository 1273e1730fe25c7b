#pragma once

#include <QMetaType>
#include <QString>

namespace vellumo::test {

// What a path given to the file layer may turn out to be.
enum class FileKind {
    Missing,
    Folder,
    LinkToFolder,
    Fifo,
    Socket,
    Device,
    DanglingLink,
    LinkLoop,
    UnderAFile,      // a path whose folder is a plain file
    InMissingFolder, // a path whose folder does not exist
    Oversized,       // a sparse file of more characters than the text area's positions reach
    Huge,            // a sparse file of a tebibyte, more than any machine's memory holds
};

bool makeLink(const QString &target, const QString &link);

// Makes a thing of that kind named `name` in folder (for a device, uses /dev/zero) and returns
// the path to give the program, or an empty string if it could not. A dangling link names
// `name`.missing beside it; the others it needs are named from `name` too.
QString makeFile(FileKind kind, const QString &folder, const QString &name);

} // namespace vellumo::test

Q_DECLARE_METATYPE(vellumo::test::FileKind)
