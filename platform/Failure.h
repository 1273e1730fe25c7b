#pragma once

#include <QByteArray>
#include <QString>
#include <exception>

namespace vellumo {

// A step of a command that could not be done. The message is for the user:
// it names what failed and the system's reason, e.g.
// Cannot open "C:/notes.txt" for reading: No such file or directory.
class Failure : public std::exception {
public:
    explicit Failure(QString message) : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}
    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

} // namespace vellumo
